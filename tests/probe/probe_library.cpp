// A library the tests plant beside the launcher under the names of system libraries: once
// loaded into a process it appends its own path to the file PROBE_LIBRARY_OUT names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t out[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"PROBE_LIBRARY_OUT", out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD selfLength = GetModuleFileNameW(instance, self, MAX_PATH);
    HANDLE file = CreateFileW(out, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    DWORD written = 0;
    WriteFile(file, self, selfLength * sizeof(wchar_t), &written, nullptr);
    WriteFile(file, L"\r\n", 2 * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}
