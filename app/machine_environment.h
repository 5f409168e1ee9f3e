// The variables a launched program takes from the machine, not from the user who started
// the launcher: an elevated run inherits the user's environment, where HKCU\Environment may
// have put its own windir, ComSpec or Path to redirect what run.bat starts by them. Every
// other variable (TEMP and TMP among them) passes through as it is.
#pragma once

#include <map>
#include <string>
#include <vector>

// A variable and the machine's value for it; an empty value means the machine has none, and
// the variable is removed.
struct MachineVariable {
    std::wstring name;
    std::wstring value;
};

// Expands %NAME% in text from table (names compared without regard to letter case); a name
// the table lacks stays as written, as the system's own expansion leaves it.
std::wstring ExpandFromTable(const std::wstring& text, const std::map<std::wstring, std::wstring>& table);

// The machine's values of Path, PATHEXT, ComSpec, windir, SystemRoot, SystemDrive,
// ProgramFiles, ProgramFiles(x86), ProgramW6432, CommonProgramFiles, CommonProgramFiles(x86),
// CommonProgramW6432, ProgramData, ALLUSERSPROFILE, PUBLIC and PSModulePath, read from the
// system folder and the machine's registry; also of NoDefaultCurrentDirectoryInExePath and
// the .NET profiler and startup hook variables, which the machine normally leaves unset.
std::vector<MachineVariable> MachineVariables();

// Sets this process's environment, which the launched program inherits, to those values.
void ApplyMachineVariables();
