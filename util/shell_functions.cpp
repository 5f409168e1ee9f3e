#include "util/shell_functions.h"

#include "util/system_function.h"
#include "util/system_paths.h"

namespace {

// shell32 from the system folder, its imports searched there as well. Where the search flag
// is unknown (Windows 7 without KB2533623) the full path at least names the right file.
// Not kept in a function-local static: the lean runtime has no guard for one.
FARPROC Shell32Function(const char* name) {
    HMODULE shell32 = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (shell32 == nullptr) {
        const std::wstring system = GetSystemDirectoryPath();
        if (!system.empty()) shell32 = LoadLibraryW((system + L"\\shell32.dll").c_str());
    }
    return shell32 == nullptr ? nullptr : GetProcAddress(shell32, name);
}

}  // namespace

BOOL ShellExecuteFromSystem(SHELLEXECUTEINFOW* request) {
    using Fn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    const Fn execute = AsFunction<Fn>(Shell32Function("ShellExecuteExW"));
    if (execute == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return execute(request);
}

HRESULT FolderPathFromSystem(int folder, DWORD flags, wchar_t* path) {
    using Fn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    const Fn query = AsFunction<Fn>(Shell32Function("SHGetFolderPathW"));
    return query == nullptr ? E_NOTIMPL : query(nullptr, folder, nullptr, flags, path);
}
