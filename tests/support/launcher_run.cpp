#include "support/launcher_run.h"

#include <vector>

std::wstring EnvironmentBlock(const EnvOverrides& overrides) {
    std::map<std::wstring, std::wstring> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
        const std::wstring entry = p;
        const size_t equals = entry.find(L'=', 1);  // "=C:=C:\" entries start with '='
        if (equals == std::wstring::npos) continue;
        variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : overrides) {
        // Names are case-insensitive: drop every spelling of this one first.
        for (auto it = variables.begin(); it != variables.end();) {
            it = _wcsicmp(it->first.c_str(), name.c_str()) == 0 ? variables.erase(it) : std::next(it);
        }
        if (!value.empty()) variables[name] = value;
    }
    std::wstring result;
    for (const auto& [name, value] : variables) {
        result += name + L"=" + value;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

HANDLE StartProcess(const std::wstring& commandLine, const EnvOverrides& overrides,
                    const std::wstring& directory) {
    std::wstring environment = EnvironmentBlock(overrides);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        &environment[0], directory.empty() ? nullptr : directory.c_str(), &startup,
                        &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

RunResult RunProcess(const std::wstring& commandLine, const EnvOverrides& overrides,
                     DWORD timeoutMs) {
    RunResult result;
    // Everything the run starts belongs to one job, so that a run that overstays its time
    // is ended with its installation. A run that ends in time leaves its children alone.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    const DWORD start = GetTickCount();
    HANDLE process = StartProcess(commandLine, overrides);
    if (process == nullptr) {
        CloseHandle(job);
        return result;
    }
    result.started = true;
    AssignProcessToJobObject(job, process);
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(process, &result.exitCode);
    } else {
        TerminateJobObject(job, 1);
        WaitForSingleObject(process, 5000);
    }
    result.elapsedMs = GetTickCount() - start;
    CloseHandle(process);
    CloseHandle(job);
    return result;
}

HANDLE CreateProbeEvent(const std::wstring& name) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        if (event != nullptr) {
            ResetEvent(event);
            return event;
        }
        Sleep(100);
    }
    return nullptr;
}

std::wstring Quote(const std::wstring& argument) {
    if (argument.find_first_of(L" \t") == std::wstring::npos && !argument.empty()) return argument;
    return L"\"" + argument + L"\"";
}

RunResult RunLauncher(const std::wstring& launcher, const std::wstring& tempFolder,
                      const std::wstring& args, EnvOverrides extra, DWORD timeoutMs) {
    extra[L"TMP"] = tempFolder;
    extra[L"TEMP"] = tempFolder;
    std::wstring commandLine = Quote(launcher);
    if (!args.empty()) commandLine += L" " + args;
    return RunProcess(commandLine, extra, timeoutMs);
}
