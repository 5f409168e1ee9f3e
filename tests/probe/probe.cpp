// Stands in for an installer in the tests. Told through its environment what to do:
//   PROBE_OUT     file to write "cmdline=...", "cwd=..." and "args=..." lines to (UTF-16)
//   PROBE_STARTED name of an event to set once running
//   PROBE_WAIT    name of an event to wait for before exiting
//   PROBE_EXIT    exit code (decimal), 0 when absent
//   PROBE_STAMP   file to write the performance counter to just before exiting
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return (n > 0 && n < 1024) ? std::wstring(value) : std::wstring();
}

void Record(const std::wstring& path, int argc, wchar_t** argv) {
    wchar_t cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::wstring text = L"cmdline=" + std::wstring(GetCommandLineW()) + L"\r\n";
    text += L"cwd=" + std::wstring(cwd) + L"\r\n";
    text += L"exe=" + std::wstring(argv[0]) + L"\r\n";
    for (int i = 1; i < argc; ++i) text += L"arg=" + std::wstring(argv[i]) + L"\r\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring out = Env(L"PROBE_OUT");
    if (!out.empty()) Record(out, argc, argv);

    const std::wstring started = Env(L"PROBE_STARTED");
    if (!started.empty()) {
        HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, started.c_str());
        if (event != nullptr) {
            SetEvent(event);
            CloseHandle(event);
        }
    }
    const std::wstring wait = Env(L"PROBE_WAIT");
    if (!wait.empty()) {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, wait.c_str());
        if (event != nullptr) {
            WaitForSingleObject(event, 120000);
            CloseHandle(event);
        }
    }
    const std::wstring stamp = Env(L"PROBE_STAMP");
    if (!stamp.empty()) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        HANDLE file = CreateFileW(stamp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, &now, sizeof(now), &written, nullptr);
            CloseHandle(file);
        }
    }
    const std::wstring code = Env(L"PROBE_EXIT");
    return code.empty() ? 0 : static_cast<int>(wcstoul(code.c_str(), nullptr, 10));
}
