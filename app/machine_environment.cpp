#include "app/machine_environment.h"

#include <windows.h>

#include "util/file_system.h"
#include "util/system_paths.h"

namespace {

const wchar_t kSessionEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// A string value as stored, %NAME% references not expanded; empty when there is none. The
// view is the process's own, as the system's would be for it: a 32-bit program's
// ProgramFiles is the x86 folder.
std::wstring MachineString(const wchar_t* key, const wchar_t* name) {
    DWORD bytes = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, flags, nullptr, nullptr, &bytes) != ERROR_SUCCESS || bytes == 0) {
        return std::wstring();
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, flags, nullptr, &value[0], &bytes) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

std::wstring ExpandFromTable(const std::wstring& text, const std::map<std::wstring, std::wstring>& table) {
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find(L'%', i);
        const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            out.append(text, i, std::wstring::npos);
            break;
        }
        out.append(text, i, open - i);
        const auto found = table.find(Upper(text.substr(open + 1, close - open - 1)));
        if (found != table.end()) {
            out += found->second;
            i = close + 1;
        } else {
            // Not a name the table knows: the first % stays, the second may open a name.
            out += L'%';
            i = open + 1;
        }
    }
    return out;
}

std::vector<MachineVariable> MachineVariables() {
    const std::wstring systemRoot = GetSystemWindowsDirectoryPath();
    const std::wstring systemDrive = systemRoot.size() >= 2 ? systemRoot.substr(0, 2) : std::wstring();
    std::vector<MachineVariable> variables = {
        {L"SystemRoot", systemRoot},
        {L"windir", systemRoot},
        {L"SystemDrive", systemDrive},
    };
    const std::wstring interpreter = GetSystemDirectoryPath().empty() ? std::wstring()
                                                                       : GetSystemDirectoryPath() + L"\\cmd.exe";
    // Where the machine keeps each value, in an order in which every value refers only to
    // those before it; the fallback stands in where the machine has none.
    const struct {
        const wchar_t* name;
        const wchar_t* key;
        const wchar_t* value;
        const wchar_t* fallback;
    } sources[] = {
        {L"ProgramFiles", kCurrentVersion, L"ProgramFilesDir", L""},
        {L"ProgramFiles(x86)", kCurrentVersion, L"ProgramFilesDir (x86)", L""},
        {L"ProgramW6432", kCurrentVersion, L"ProgramW6432Dir", L""},
        {L"CommonProgramFiles", kCurrentVersion, L"CommonFilesDir", L""},
        {L"CommonProgramFiles(x86)", kCurrentVersion, L"CommonFilesDir (x86)", L""},
        {L"CommonProgramW6432", kCurrentVersion, L"CommonW6432Dir", L""},
        {L"ProgramData", kProfileList, L"ProgramData", L""},
        {L"ALLUSERSPROFILE", kProfileList, L"ProgramData", L""},
        {L"PUBLIC", kProfileList, L"Public", L""},
        {L"Path", kSessionEnvironment, L"Path", L""},
        {L"PATHEXT", kSessionEnvironment, L"PATHEXT", L".COM;.EXE;.BAT;.CMD"},
        {L"ComSpec", kSessionEnvironment, L"ComSpec", interpreter.c_str()},
        {L"PSModulePath", kSessionEnvironment, L"PSModulePath", L""},
        // Set, the interpreter no longer looks in the work folder for run.bat and the bare
        // names in it, only on Path.
        {L"NoDefaultCurrentDirectoryInExePath", kSessionEnvironment, L"NoDefaultCurrentDirectoryInExePath", L""},
        // Each .NET program started would load the library or assembly they name.
        {L"COR_ENABLE_PROFILING", kSessionEnvironment, L"COR_ENABLE_PROFILING", L""},
        {L"COR_PROFILER", kSessionEnvironment, L"COR_PROFILER", L""},
        {L"COR_PROFILER_PATH", kSessionEnvironment, L"COR_PROFILER_PATH", L""},
        {L"COR_PROFILER_PATH_32", kSessionEnvironment, L"COR_PROFILER_PATH_32", L""},
        {L"COR_PROFILER_PATH_64", kSessionEnvironment, L"COR_PROFILER_PATH_64", L""},
        {L"CORECLR_ENABLE_PROFILING", kSessionEnvironment, L"CORECLR_ENABLE_PROFILING", L""},
        {L"CORECLR_PROFILER", kSessionEnvironment, L"CORECLR_PROFILER", L""},
        {L"CORECLR_PROFILER_PATH", kSessionEnvironment, L"CORECLR_PROFILER_PATH", L""},
        {L"CORECLR_PROFILER_PATH_32", kSessionEnvironment, L"CORECLR_PROFILER_PATH_32", L""},
        {L"CORECLR_PROFILER_PATH_64", kSessionEnvironment, L"CORECLR_PROFILER_PATH_64", L""},
        {L"DOTNET_STARTUP_HOOKS", kSessionEnvironment, L"DOTNET_STARTUP_HOOKS", L""},
    };
    // What the stored values refer to, keyed in upper case: every value found so far.
    std::map<std::wstring, std::wstring> table;
    for (const MachineVariable& variable : variables) table[Upper(variable.name)] = variable.value;
    for (const auto& source : sources) {
        std::wstring value = ExpandFromTable(MachineString(source.key, source.value), table);
        if (value.empty()) value = source.fallback;
        table[Upper(source.name)] = value;
        variables.push_back({source.name, value});
    }
    return variables;
}

void ApplyMachineVariables() {
    for (const MachineVariable& variable : MachineVariables()) {
        SetEnvironmentVariableW(variable.name.c_str(), variable.value.empty() ? nullptr : variable.value.c_str());
    }
}
