#include "tools/sfxpack/base/temporaries.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "tools/sfxpack/base/utf8.h"
#else
#include <signal.h>
#include <sys/types.h>
#endif

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/text.h"

namespace sfx {
namespace {

namespace fs = std::filesystem;

constexpr int kAttempts = 16;
constexpr char kTemporaryPrefix[] = ".sfxpack-";

bool ProcessIsGone(unsigned long pid) {
#ifdef _WIN32
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
#else
    // EPERM: it runs, under another user.
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

bool AllDigits(const std::string& s) {
    return !s.empty() && s.size() < 12 &&
           s.find_first_not_of("0123456789") == std::string::npos;
}

// The process number in ".sfxpack-PID[-N]SUFFIX", as TemporaryPathBeside makes it.
bool ParseTemporaryName(const std::string& name, const std::string& suffix, unsigned long* pid) {
    const size_t prefix = sizeof kTemporaryPrefix - 1;
    if (name.size() <= prefix + suffix.size() || name.compare(0, prefix, kTemporaryPrefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix.size());
    const size_t dash = middle.find('-');
    const std::string number = middle.substr(0, dash);
    if (!AllDigits(number) || (dash != std::string::npos && !AllDigits(middle.substr(dash + 1)))) {
        return false;
    }
    *pid = std::stoul(number);
    return true;
}

fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
    std::wstring wide;
    WidenUtf8(utf8, &wide);
    return fs::path(wide);
#else
    return fs::path(utf8);
#endif
}

std::string Utf8Of(const fs::path& path) {
#ifdef _WIN32
    return NarrowToUtf8(path.wstring());
#else
    return path.string();
#endif
}

// A leftover folder goes only with the files this tool puts into it.
bool RemoveLeftoverFolder(const fs::path& folder, const std::vector<std::string>& files) {
    std::error_code ignored;
    for (const std::string& name : files) {
        const fs::path file = folder / PathOf(name);
        if (!fs::is_directory(fs::symlink_status(file, ignored))) fs::remove(file, ignored);
    }
    return fs::remove(folder, ignored);  // only when empty
}

}  // namespace

TemporaryFolder::~TemporaryFolder() {
    if (path_.empty()) return;
    InterruptionsHeld held;
    for (const auto& file : files_) {
        RemoveFile(file.first);
        ForgetTemporary(file.second);
    }
    RemoveEmptyDirectory(path_);
    ForgetTemporary(token_);
}

bool TemporaryFolder::Make(const std::string& besidePath, const std::string& suffix,
                           std::string* error) {
    std::string why = "every name tried is taken";
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = TemporaryPathBeside(besidePath, attempt, suffix);
        InterruptionsHeld held;
        if (MakeNewDirectory(candidate)) {
            path_ = candidate;
            token_ = RegisterTemporary(candidate, TemporaryKind::kFolder);
            return true;
        }
        if (errno != EEXIST) {
            why = std::strerror(errno);
            break;
        }
    }
    std::string folder = FolderOf(besidePath);
    if (folder.size() > 1) folder.pop_back();  // its separator
    *error = "cannot make a temporary folder in " + Quoted(folder.empty() ? "." : folder) +
             " beside " + Quoted(besidePath) + ": " + why;
    return false;
}

std::string TemporaryFolder::File(const std::string& name) {
    const std::string path = JoinPath(path_, name);
    files_.emplace_back(path, RegisterTemporary(path, TemporaryKind::kFile));
    return path;
}

std::vector<std::string> RemoveLeftovers(const std::string& folder, const std::string& suffix,
                                         const std::vector<std::string>& folderFiles) {
    std::vector<std::string> removed;
    std::error_code error;
    const fs::path where = PathOf(folder.empty() ? "." : folder);
    fs::directory_iterator it(where, error);
    if (error) return removed;
    const unsigned long self = CurrentProcessId();
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = Utf8Of(it->path().filename());
        unsigned long pid = 0;
        if (!ParseTemporaryName(name, suffix, &pid) || (pid != self && !ProcessIsGone(pid))) {
            continue;
        }
        std::error_code ignored;
        const bool isFolder = fs::is_directory(fs::symlink_status(it->path(), ignored));
        const bool wantFolder = !folderFiles.empty();
        if (isFolder != wantFolder) continue;
        const bool gone = isFolder ? RemoveLeftoverFolder(it->path(), folderFiles)
                                   : fs::remove(it->path(), ignored);
        if (gone) removed.push_back(JoinPath(folder, name));
    }
    return removed;
}

}  // namespace sfx
