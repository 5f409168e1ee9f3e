#include <shlobj.h>

#include "framework/string_resource.h"
#include "package/unpack.h"
#include "res/resource.h"
#include "util/log.h"
#include "util/shell_functions.h"
#include "util/system_paths.h"

namespace {

const wchar_t kTag[] = L"CUnPack::UnPackFiles";

// Total free bytes on the volume of folder (null: the current directory's). When the
// query fails, freeBytes keeps the figure of the previous query.
void QueryFreeSpace(CUnPack::FreeSpaceQuery query, const wchar_t* folder, ULONGLONG& freeBytes,
                    uint64_t fileSize) {
    ULARGE_INTEGER available, total, totalFree;
    if (query(folder, &available, &total, &totalFree)) freeBytes = totalFree.QuadPart;
    WriteLog(L"[%s]  FreeSpace:%lld FileSize:%lld", kTag, static_cast<long long>(freeBytes),
             static_cast<long long>(fileSize));
}

}  // namespace

BOOL CUnPack::CheckFreeSpace(uint64_t fileSize, ULONGLONG& freeBytes) {
    // The files go to the work folder in the temporary directory: measure that volume.
    const std::wstring temp = GetWorkTemp();
    QueryFreeSpace(m_pfnFreeSpace, temp.empty() ? nullptr : temp.c_str(), freeBytes, fileSize);
    if (freeBytes >= fileSize) return TRUE;

    wchar_t programs[MAX_PATH + 1] = {};
    if (FAILED(FolderPathFromSystem(CSIDL_PROGRAM_FILESX86, SHGFP_TYPE_CURRENT, programs))) {
        FolderPathFromSystem(CSIDL_PROGRAM_FILES, SHGFP_TYPE_CURRENT, programs);
    }
    QueryFreeSpace(m_pfnFreeSpace, programs, freeBytes, fileSize);
    if (freeBytes >= fileSize) return TRUE;

    const std::wstring caption = LoadResourceString(IDS_CAPTION);
    const std::wstring text = LoadResourceString(IDS_NO_DISK_SPACE);
    WriteLog(L"[%s] %s", kTag, text.c_str());
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
    return FALSE;
}
