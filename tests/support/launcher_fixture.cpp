#include "support/launcher_fixture.h"

std::wstring ExpectedInterpreter() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    wchar_t folder[MAX_PATH + 1] = {};
    if (wow64) {
        GetSystemWindowsDirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\sysnative\\cmd.exe";
    }
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\cmd.exe";
}
