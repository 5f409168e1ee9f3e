// Starting the launcher (or the probe) from the Windows side, with an environment of the
// test's choosing: Wine hands a program started from the Unix side its own TMP and TEMP,
// so only a Windows parent can give a run a private temporary folder.
#pragma once

#include <windows.h>

#include <map>
#include <string>

using EnvOverrides = std::map<std::wstring, std::wstring>;

// This process's environment with the given variables set (an empty value removes one).
std::wstring EnvironmentBlock(const EnvOverrides& overrides);

// Starts exe with the raw command line (which must begin with the program name).
// Returns the process handle (the caller closes it), or null.
HANDLE StartProcess(const std::wstring& commandLine, const EnvOverrides& overrides,
                    const std::wstring& directory = std::wstring());

struct RunResult {
    bool started = false;   // CreateProcessW took the program
    bool finished = false;  // ended within the time bound (otherwise it was killed)
    DWORD exitCode = 0;
    DWORD elapsedMs = 0;
};

RunResult RunProcess(const std::wstring& commandLine, const EnvOverrides& overrides,
                     DWORD timeoutMs = 60000);

// A manual-reset named event, not signalled, for a probe to wait on or set. Once, in the
// first run of a freshly made Wine prefix, the creation failed; it is retried for a
// second before the test is told (null, with the last error kept).
HANDLE CreateProbeEvent(const std::wstring& name);

// Quotes one argument for a command line when it holds blanks.
std::wstring Quote(const std::wstring& argument);

// A launcher run with TMP and TEMP set to tempFolder; args follow the program name.
RunResult RunLauncher(const std::wstring& launcher, const std::wstring& tempFolder,
                      const std::wstring& args = std::wstring(), EnvOverrides extra = {},
                      DWORD timeoutMs = 60000);
