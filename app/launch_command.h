// The command the launcher starts: the package's batch file through the command
// interpreter by default, or the program named on the command line.
#pragma once

#include <windows.h>

#include <string>

struct LaunchCommand {
    std::wstring file;        // program to start
    std::wstring parameters;  // its command-line parameters
    std::wstring directory;   // working directory; empty: the process's current one
    int show = SW_HIDE;
    bool runsBatch = false;   // the default branch: the interpreter on the package's run.bat
    bool found = true;        // the argument branch's program was found where it may be
};

// TRUE when the command line asks for the argument branch: a program and its
// parameters after the launcher's own name (argc of 3 or more; one argument is ignored).
inline bool IsArgumentBranch(int argc) { return argc >= 3; }

// The command interpreter of the default branch, by full path: the 64-bit one through
// "sysnative" when useSysnative (a 32-bit process on 64-bit Windows), else the system
// directory's. A bare "cmd.exe" would be searched in the program's own folder and the work
// folder first, where a planted copy would run elevated; it is the answer only when neither
// directory is known. Paths longer than 259 code units are not used.
std::wstring InterpreterPath(bool useSysnative, const std::wstring& windowsDirectory,
                             const std::wstring& systemDirectory);

// Parameters of the default branch: run.bat with its console output captured in the
// log file's path with ".txt" appended. /D: the interpreter runs no AutoRun command of the
// user's hive first; /E:ON /V:OFF: command extensions and delayed expansion as a package's
// run.bat expects them, whatever the user's hive sets. The path is put in as text, so the caller makes sure it holds nothing
// the interpreter reads as syntax (see util/work_temp.h).
std::wstring BuildBatchParameters(const std::wstring& logFilePath);

// The program the argument branch starts. A name with a folder part is taken as given. A
// bare name is looked for in the work folder, then in the system folder (as given, and with
// ".exe" when it has no extension), never in the current directory, on PATH or in App
// Paths, where others than the administrators may put a program of that name. Empty when
// neither folder has it.
std::wstring ResolveProgram(const std::wstring& name, const std::wstring& workFolder,
                            const std::wstring& systemDirectory);

// Parameters of the argument branch: the raw command line after the first blank behind the
// first argument (found by the quoting rules that split the command line into argv),
// trimmed of blanks at both ends, every pair of blanks made one (in a single left-to-right
// pass); when no blank follows the first argument, argv[2..] each followed by a blank.
// argv holds argc entries, quotation marks already removed.
std::wstring BuildArgumentParameters(const std::wstring& rawCommandLine, int argc,
                                     const wchar_t* const* argv);
