#include "tools/sfxpack/base/child_process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/base/utf8.h"

#ifdef _WIN32
#include <windows.h>

#include "framework/handles.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include "tools/sfxpack/base/unique_fd.h"
#endif

namespace sfx {
namespace {

#ifdef _WIN32
constexpr char kPathListSeparator = ';';
constexpr char kFolderSeparator = '\\';
constexpr char kExecutableSuffix[] = ".exe";

std::string PathVariable() {
    const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0) return std::string();
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"PATH", &value[0], n);
    value.resize(got < n ? got : 0);
    return NarrowToUtf8(value);
}

bool IsExecutable(const std::string& path) {
    return IsRegularFile(path);
}

// Quotes one argument so that the child's CommandLineToArgvW-style parsing gives it back
// unchanged: backslashes double only where a quote follows them.
void AppendQuoted(std::wstring* line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += arg;
        return;
    }
    *line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        line->append(backslashes, L'\\');
        backslashes = 0;
        *line += c;
    }
    line->append(backslashes * 2, L'\\');
    *line += L'"';
}

std::string SystemError(const char* what) {
    return std::string(what) + " failed: " + SystemErrorText(GetLastError());
}

// The command line CreateProcessW takes: the program, then each argument, each quoted.
bool BuildCommandLine(const std::string& executable, const std::vector<std::string>& args,
                      std::wstring* program, std::wstring* line, std::string* error) {
    if (!WidenUtf8(executable, program)) {
        *error = "program path is not valid UTF-8";
        return false;
    }
    AppendQuoted(line, *program);
    for (const std::string& a : args) {
        std::wstring wide;
        if (!WidenUtf8(a, &wide)) {
            *error = "argument is not valid UTF-8";
            return false;
        }
        *line += L' ';
        AppendQuoted(line, wide);
    }
    return true;
}

struct StartedChild {
    UniqueHandle output;  // the read end of the pipe behind its stdout and stderr
    UniqueHandle process;
    UniqueHandle thread;
    // Its whole tree, ended on an interruption and when this process ends in any way.
    UniqueHandle job;
};

bool MakeJob(UniqueHandle* job, std::string* error) {
    job->Reset(CreateJobObjectW(nullptr, nullptr));
    if (!*job) {
        *error = SystemError("CreateJobObject");
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job->Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        *error = SystemError("SetInformationJobObject");
        return false;
    }
    return true;
}

// Starts the child with stdin from NUL and stdout and stderr into a pipe.
bool StartChild(const std::wstring& program, std::wstring* line, StartedChild* child,
                std::string* error) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // Our copy of the write end goes on return, or the read of the output never sees the end.
    UniqueHandle writeEnd;
    if (!CreatePipe(child->output.Put(), writeEnd.Put(), &inherit, 0)) {
        *error = SystemError("CreatePipe");
        return false;
    }
    // Only the write end goes along.
    SetHandleInformation(child->output.Get(), HANDLE_FLAG_INHERIT, 0);
    const UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    if (!MakeJob(&child->job, error)) return false;
    // Suspended until it is in the job, so nothing it starts escapes; a group of its own, so
    // Ctrl-C reaches only us and we end it.
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &(*line)[0], nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr,
                        nullptr, &startup, &process)) {
        *error = SystemError("CreateProcess");
        return false;
    }
    child->process.Reset(process.hProcess);
    child->thread.Reset(process.hThread);
    if (!AssignProcessToJobObject(child->job.Get(), child->process.Get())) {
        *error = SystemError("AssignProcessToJobObject");
        TerminateProcess(child->process.Get(), 1);
        return false;
    }
    ResumeThread(child->thread.Get());
    return true;
}

void CollectOutput(HANDLE output, std::string* text) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (text->size() < kMaxChildOutput) text->append(buffer, got);
    }
}

bool RunChildImpl(const std::string& executable, const std::vector<std::string>& args,
                  ChildResult* result, std::string* error) {
    std::wstring program;
    std::wstring line;
    if (!BuildCommandLine(executable, args, &program, &line, error)) return false;
    StartedChild child;
    if (!StartChild(program, &line, &child, error)) return false;
    const int token = RegisterChild(child.process.Get(), child.job.Get());
    CollectOutput(child.output.Get(), &result->output);
    child.output.Reset();
    WaitForSingleObject(child.process.Get(), INFINITE);
    ForgetChild(token);
    DWORD code = 0;
    result->exitCode =
        GetExitCodeProcess(child.process.Get(), &code) ? static_cast<int>(code) : -1;
    return true;
}

#else
constexpr char kPathListSeparator = ':';
constexpr char kFolderSeparator = '/';
constexpr char kExecutableSuffix[] = "";

std::string PathVariable() {
    const char* value = std::getenv("PATH");
    return value != nullptr ? value : "";
}

bool IsExecutable(const std::string& path) {
    return IsRegularFile(path) && access(path.c_str(), X_OK) == 0;
}

bool MakePipe(UniqueFd* readEnd, UniqueFd* writeEnd, std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("pipe failed: ") + std::strerror(errno);
        return false;
    }
    readEnd->Reset(fds[0]);
    writeEnd->Reset(fds[1]);
    return true;
}

struct ChildPipes {
    UniqueFd outputRead;  // the child's stdout and stderr
    UniqueFd outputWrite;
    UniqueFd statusRead;  // a failed exec: the child writes errno here; exec closes it
    UniqueFd statusWrite;
};

// The child's side of fork, in its own copy of the pipes: a process group of its own (so a
// terminal's Ctrl-C reaches only us, and we end the whole group), the signal handling it
// would have had without us, stdin from /dev/null, stdout and stderr into the output pipe,
// then exec. Only async-signal-safe calls from here to exec, and no destructor runs: the
// child ends in exec or _exit.
[[noreturn]] void ExecInChild(const std::vector<char*>& argv, const ChildPipes& pipes,
                              const sigset_t& mask, pid_t parent) {
    setpgid(0, 0);
#ifdef __linux__
    // Killed with us even when we are killed outright (SIGKILL), so it never writes on into
    // a temporary that the next run removes; a parent already gone by now is not waited for.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
#else
    (void)parent;
#endif
    // Our handlers must not run here, and an ignored SIGPIPE would pass through exec.
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    const int output = pipes.outputWrite.Get();
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, 0);
    if (devNull > 2) close(devNull);
    dup2(output, 1);
    dup2(output, 2);
    if (output > 2) close(output);
    close(pipes.outputRead.Get());
    close(pipes.statusRead.Get());
    execvp(argv[0], argv.data());
    const int why = errno;
    ssize_t ignored = write(pipes.statusWrite.Get(), &why, sizeof why);
    (void)ignored;
    _exit(127);
}

void CollectOutput(int output, std::string* text) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(output, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (text->size() < kMaxChildOutput) text->append(buffer, static_cast<size_t>(got));
    }
}

// True, with the child's errno in *why, when its exec failed; a successful exec closes the
// status pipe with nothing written.
bool ExecFailed(int statusPipe, int* why) {
    ssize_t got = 0;
    do {
        got = read(statusPipe, why, sizeof *why);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof *why);
}

// Waits for the child to end, forgets it for the interruption handler, then reaps it: the
// handler kills only a number that is still ours.
int WaitForChild(pid_t pid, int token) {
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    InterruptionsHeld held;
    ForgetChild(token);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Starts the child with interruptions held, so that it is registered before any handler can
// run; it starts with the mask we had.
pid_t StartChild(const std::vector<char*>& argv, const ChildPipes& pipes, int* token) {
    sigset_t mask;
    sigprocmask(SIG_BLOCK, nullptr, &mask);
    InterruptionsHeld held;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecInChild(argv, pipes, mask, parent);
    if (pid > 0) {
        setpgid(pid, pid);  // also here, so the group exists before the handler may kill it
        *token = RegisterChild(pid);
    }
    return pid;
}

bool RunChildImpl(const std::string& executable, const std::vector<std::string>& args,
                  ChildResult* result, std::string* error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    ChildPipes pipes;
    if (!MakePipe(&pipes.outputRead, &pipes.outputWrite, error) ||
        !MakePipe(&pipes.statusRead, &pipes.statusWrite, error)) {
        return false;
    }
    fcntl(pipes.statusWrite.Get(), F_SETFD, FD_CLOEXEC);
    int token = -1;
    const pid_t pid = StartChild(argv, pipes, &token);
    if (pid < 0) {
        *error = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    // Our copies of the write ends must go, or the reads below never see the end.
    pipes.outputWrite.Reset();
    pipes.statusWrite.Reset();

    CollectOutput(pipes.outputRead.Get(), &result->output);
    pipes.outputRead.Reset();
    int why = 0;
    const bool execFailed = ExecFailed(pipes.statusRead.Get(), &why);
    pipes.statusRead.Reset();
    const int status = WaitForChild(pid, token);
    if (execFailed) {
        *error = "cannot run " + Quoted(executable) + ": " + std::strerror(why);
        return false;
    }
    result->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}
#endif

}  // namespace

std::string FindOnPath(const std::string& program) {
    const std::string path = PathVariable();
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(kPathListSeparator, start);
        if (end == std::string::npos) end = path.size();
        const std::string folder = path.substr(start, end - start);
        start = end + 1;
        // An empty entry would mean the current folder: a planted program there is not ours.
        if (folder.empty()) continue;
        const char last = folder.back();
        const std::string candidate =
            (last == '/' || last == '\\' ? folder : folder + kFolderSeparator) + program +
            kExecutableSuffix;
        if (IsExecutable(candidate)) return candidate;
    }
    return std::string();
}

bool RunChild(const std::string& executable, const std::vector<std::string>& args,
              ChildResult* result, std::string* error) {
    *result = ChildResult();
    return RunChildImpl(executable, args, result, error);
}

}  // namespace sfx
