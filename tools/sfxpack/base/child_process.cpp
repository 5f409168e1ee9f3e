#include "tools/sfxpack/base/child_process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/base/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace sfxpack {
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
    return sfx::NarrowToUtf8(value);
}

bool IsExecutable(const std::string& path) {
    return sfx::IsRegularFile(path);
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
    return std::string(what) + " failed: system error " + std::to_string(GetLastError());
}

bool RunChildImpl(const std::string& executable, const std::vector<std::string>& args,
                  ChildResult* result, std::string* error) {
    std::wstring program;
    std::wstring line;
    if (!sfx::WidenUtf8(executable, &program)) {
        *error = "program path is not valid UTF-8";
        return false;
    }
    AppendQuoted(&line, program);
    for (const std::string& a : args) {
        std::wstring wide;
        if (!sfx::WidenUtf8(a, &wide)) {
            *error = "argument is not valid UTF-8";
            return false;
        }
        line += L' ';
        AppendQuoted(&line, wide);
    }

    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        *error = SystemError("CreatePipe");
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);  // only the write end goes along
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const std::string startError = started ? std::string() : SystemError("CreateProcess");
    // Our copy of the write end must go, or the read below never sees the end.
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(readEnd);
        *error = startError;
        return false;
    }

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (result->output.size() < kMaxChildOutput) result->output.append(buffer, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    result->exitCode = GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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
    return sfx::IsRegularFile(path) && access(path.c_str(), X_OK) == 0;
}

bool RunChildImpl(const std::string& executable, const std::vector<std::string>& args,
                  ChildResult* result, std::string* error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("pipe failed: ") + std::strerror(errno);
        return false;
    }
    // Reports a failed exec to the parent: the child writes errno here, exec closes it.
    int execStatus[2];
    if (pipe(execStatus) != 0) {
        *error = std::string("pipe failed: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    fcntl(execStatus[1], F_SETFD, FD_CLOEXEC);
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("fork failed: ") + std::strerror(errno);
        for (const int fd : {fds[0], fds[1], execStatus[0], execStatus[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, 0);
        if (devNull > 2) close(devNull);
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        if (fds[1] > 2) close(fds[1]);
        close(fds[0]);
        close(execStatus[0]);
        execvp(argv[0], argv.data());
        const int why = errno;
        ssize_t ignored = write(execStatus[1], &why, sizeof why);
        (void)ignored;
        _exit(127);
    }
    close(fds[1]);
    close(execStatus[1]);

    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (result->output.size() < kMaxChildOutput) {
            result->output.append(buffer, static_cast<size_t>(got));
        }
    }
    close(fds[0]);
    int why = 0;
    ssize_t got = 0;
    do {
        got = read(execStatus[0], &why, sizeof why);
    } while (got < 0 && errno == EINTR);
    close(execStatus[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof why)) {
        *error = "cannot run " + sfx::Quoted(executable) + ": " + std::strerror(why);
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

}  // namespace sfxpack
