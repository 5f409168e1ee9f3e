// The floors of the launcher's whole-process jobs for make bench: the same job done the
// plain way, by a GUI program like the launcher, so the child gets a console of its own
// the same way.
//   bench_floor run TEMP                 the empty run: the launcher's library loads,
//       run.bat ("@exit 0") written into a fresh folder TEMP\floor, the interpreter started
//       on it as the launcher starts it, the wait, the folder removed
//   bench_floor wait FOLDER PROGRAM ARGS  a bare waiter: PROGRAM started in FOLDER as the
//       launcher's argument branch starts it, waited for, nothing else
//   bench_floor wait-and-remove FOLDER PROGRAM ARGS  the same in a fresh FOLDER, which is
//       removed after the wait
#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

#include <string>

#include "app/launch_command.h"
#include "app/library_preload.h"
#include "util/os_version.h"

namespace {

std::wstring Directory(UINT(WINAPI* query)(LPWSTR, UINT)) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = query(buffer, MAX_PATH);
    return (length > 0 && length <= MAX_PATH) ? buffer : L"";
}

bool StartAndWait(const std::wstring& file, const std::wstring& parameters, const wchar_t* directory,
                  int show) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = L"open";
    request.lpFile = file.c_str();
    request.lpParameters = parameters.c_str();
    request.lpDirectory = directory;
    request.nShow = show;
    if (!ShellExecuteExW(&request) || request.hProcess == nullptr) return false;
    WaitForSingleObject(request.hProcess, INFINITE);
    CloseHandle(request.hProcess);
    return true;
}

// Removes the empty folder as soon as the console host of the ended child lets go of it.
bool RemoveWhenFree(const std::wstring& folder) {
    const DWORD start = GetTickCount();
    while (!RemoveDirectoryW(folder.c_str())) {
        if (GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount() - start > 10000) return false;
        Sleep(1);
    }
    return true;
}

int EmptyRun(const std::wstring& temp) {
    HardenLibrarySearchPath();
    const std::wstring folder = temp + L"floor";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return 1;
    const std::wstring batch = folder + L"\\run.bat";
    HANDLE file = CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, "@exit 0", 7, &written, nullptr);
    CloseHandle(file);

    SetCurrentDirectoryW(folder.c_str());
    const bool useSysnative = !IsPreVista() && IsWow64();
    const std::wstring interpreter = InterpreterPath(
        useSysnative, useSysnative ? Directory(GetSystemWindowsDirectoryW) : L"", Directory(GetSystemDirectoryW));
    if (!StartAndWait(interpreter, BuildBatchParameters(temp + L"floor.log"), nullptr, SW_HIDE)) return 1;

    DeleteFileW(batch.c_str());
    SetCurrentDirectoryW(temp.c_str());
    return RemoveWhenFree(folder) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring mode = __argc > 1 ? __wargv[1] : L"";
    if (mode == L"run" && __argc == 3) return EmptyRun(__wargv[2]);
    const bool remove = mode == L"wait-and-remove";
    if ((mode == L"wait" || remove) && __argc >= 4) {
        const std::wstring folder = __wargv[2];
        std::wstring parameters;
        for (int i = 4; i < __argc; ++i) parameters += (i > 4 ? L" " : L"") + std::wstring(__wargv[i]);
        if (remove && !CreateDirectoryW(folder.c_str(), nullptr)) return 1;
        if (!StartAndWait(__wargv[3], parameters, folder.c_str(), SW_SHOWNORMAL)) return 1;
        return !remove || RemoveWhenFree(folder) ? 0 : 1;
    }
    return 2;
}
