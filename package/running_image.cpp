#include "package/running_image.h"

#include "framework/handles.h"
#include "util/system_function.h"

BOOL IsRunningImage(HANDLE file) {
    using AreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID, PVOID);
    const auto areSame = LoadedFunction<AreMappedFilesTheSameFn>(L"ntdll.dll", "NtAreMappedFilesTheSame");
    if (areSame == nullptr) return FALSE;
    const UniqueHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    if (!mapping) return FALSE;
    void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) return FALSE;
    const LONG status = areSame(GetModuleHandleW(nullptr), view);
    UnmapViewOfFile(view);
    return status == 0 ? TRUE : FALSE;  // STATUS_SUCCESS: one file
}
