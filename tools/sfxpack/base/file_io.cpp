#include "tools/sfxpack/base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/base/utf8.h"

namespace sfx {
namespace {

std::string ErrnoText() {
    return std::strerror(errno);
}

#ifdef _WIN32

std::FILE* OpenForReading(const std::string& path) {
    std::wstring wide;
    if (!WidenUtf8(path, &wide)) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"rb");
}

// Fails with EEXIST when anything, a link included, already has the name. Opened with
// delete sharing, so that the handler of an interruption can remove it while it is open.
std::FILE* CreateNewFile(const std::string& path) {
    std::wstring wide;
    if (!WidenUtf8(path, &wide)) {
        errno = EINVAL;
        return nullptr;
    }
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        errno = why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS ? EEXIST
                : why == ERROR_ACCESS_DENIED                             ? EACCES
                : why == ERROR_PATH_NOT_FOUND                            ? ENOENT
                                                                         : EIO;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) _close(fd);
    return f;
}

bool MakeDirectory(const std::string& path) {
    std::wstring wide;
    return WidenUtf8(path, &wide) && _wmkdir(wide.c_str()) == 0;
}

bool Seek(std::FILE* f, uint64_t offset) {
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool SizeOfOpenFile(std::FILE* f, uint64_t* size) {
    struct _stat64 st;
    if (_fstat64(_fileno(f), &st) != 0 || st.st_size < 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

PathKind KindOf(const std::string& path) {
    std::wstring wide;
    struct _stat64 st;
    if (!WidenUtf8(path, &wide) || _wstat64(wide.c_str(), &st) != 0) return PathKind::kMissing;
    if ((st.st_mode & _S_IFMT) == _S_IFREG) return PathKind::kRegularFile;
    if ((st.st_mode & _S_IFMT) == _S_IFDIR) return PathKind::kDirectory;
    return PathKind::kOther;
}

bool RemovePath(const std::string& path) {
    std::wstring wide;
    return WidenUtf8(path, &wide) && _wremove(wide.c_str()) == 0;
}

bool RemoveDirectoryPath(const std::string& path) {
    std::wstring wide;
    return WidenUtf8(path, &wide) && _wrmdir(wide.c_str()) == 0;
}

bool MoveReplacing(const std::string& from, const std::string& to, std::string* error) {
    std::wstring wideFrom, wideTo;
    if (!WidenUtf8(from, &wideFrom) || !WidenUtf8(to, &wideTo)) {
        *error = "path is not valid UTF-8";
        return false;
    }
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    *error = SystemErrorText(GetLastError());
    return false;
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

#else

std::FILE* OpenForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

// Fails with EEXIST when anything, a dangling link included, already has the name.
std::FILE* CreateNewFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) close(fd);
    return f;
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool Seek(std::FILE* f, uint64_t offset) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SizeOfOpenFile(std::FILE* f, uint64_t* size) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || st.st_size < 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

PathKind KindOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return PathKind::kMissing;
    if (S_ISREG(st.st_mode)) return PathKind::kRegularFile;
    if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
    return PathKind::kOther;
}

bool RemovePath(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool RemoveDirectoryPath(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool MoveReplacing(const std::string& from, const std::string& to, std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *error = ErrnoText();
    return false;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

#endif

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

}  // namespace


PathKind GetPathKind(const std::string& path) {
    return KindOf(path);
}

bool FileSizeOf(const std::string& path, uint64_t* size, std::string* error) {
    InputFile file;
    if (!file.Open(path, error)) return false;
    *size = file.Size();
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    InputFile file;
    if (!file.Open(path, error)) return false;
    if (file.Size() > SIZE_MAX) {
        *error = Quoted(path) + " is too large to load";
        return false;
    }
    data->resize(static_cast<size_t>(file.Size()));
    return data->empty() || file.ReadAt(0, data->data(), data->size(), error);
}

bool ReadFileRange(const std::string& path, uint64_t offset, size_t length,
                   std::vector<uint8_t>* data, std::string* error) {
    InputFile file;
    if (!file.Open(path, error)) return false;
    data->resize(length);
    return length == 0 || file.ReadAt(offset, data->data(), length, error);
}

bool RemoveFile(const std::string& path) {
    return RemovePath(path) || GetPathKind(path) == PathKind::kMissing;
}

bool MakeNewDirectory(const std::string& path) {
    return MakeDirectory(path);
}

bool RemoveEmptyDirectory(const std::string& path) {
    return RemoveDirectoryPath(path);
}

bool MoveOver(const std::string& from, const std::string& to, std::string* error) {
    return MoveReplacing(from, to, error);
}

std::string FolderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    return dir.empty() || IsSeparator(dir.back()) ? dir + name : dir + separator + name;
}

bool MakeDirectories(const std::string& path, std::string* error) {
    // Every prefix ending before a separator is tried in turn. Some cannot be made and
    // need not be (a drive "C:", a server "\\host"), so only the outcome counts.
    std::string why = "it exists and is no directory";
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        const std::string prefix = path.substr(0, i);
        if (GetPathKind(prefix) == PathKind::kMissing && !MakeDirectory(prefix)) {
            why = ErrnoText();
        }
    }
    if (GetPathKind(path) != PathKind::kDirectory) {
        *error = "cannot create directory " + Quoted(path) + ": " + why;
        return false;
    }
    return true;
}

InputFile::~InputFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool InputFile::Open(const std::string& path, std::string* error) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    path_ = path;
    // A directory opens fine with fopen on some systems and then fails on the first read.
    const PathKind kind = GetPathKind(path);
    if (kind != PathKind::kRegularFile) {
        *error = Quoted(path) + (kind == PathKind::kMissing     ? " does not exist"
                                 : kind == PathKind::kDirectory ? " is a directory"
                                                                : " is not a regular file");
        return false;
    }
    file_ = OpenForReading(path);
    if (file_ == nullptr) {
        *error = Quoted(path) + " cannot be opened: " + ErrnoText();
        return false;
    }
    if (!SizeOfOpenFile(file_, &size_)) {
        *error = Quoted(path) + ": size unknown: " + ErrnoText();
        return false;
    }
    return true;
}

bool InputFile::ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) {
    if (offset > size_ || n > size_ - offset) {
        *error = Quoted(path_) + " ends before byte " + std::to_string(offset + n);
        return false;
    }
    if (!Seek(file_, offset)) {
        *error = Quoted(path_) + " cannot be read: " + ErrnoText();
        return false;
    }
    if (std::fread(buffer, 1, n, file_) != n) {
        *error = Quoted(path_) + " cannot be read: " +
                 (std::ferror(file_) ? ErrnoText() : std::string("it shrank while reading"));
        return false;
    }
    return true;
}

bool InputFile::ReadSome(void* buffer, size_t n, size_t* got, std::string* error) {
    *got = std::fread(buffer, 1, n, file_);
    if (*got < n && std::ferror(file_)) {
        *error = Quoted(path_) + " cannot be read: " + ErrnoText();
        return false;
    }
    return true;
}

ReplacingFileWriter::~ReplacingFileWriter() {
    Discard();
}

void ReplacingFileWriter::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        InterruptionsHeld held;
        RemoveFile(tempPath_);
        ForgetTemporary(token_);
        token_ = -1;
        tempPath_.clear();
    }
}

unsigned long CurrentProcessId() {
    return ProcessId();
}

std::string TemporaryPathBeside(const std::string& targetPath, int attempt,
                                const std::string& suffix) {
    std::string temp = FolderOf(targetPath) + ".sfxpack-" + std::to_string(ProcessId());
    if (attempt > 0) temp += "-" + std::to_string(attempt);
    return temp + suffix;
}

bool ReplacingFileWriter::Open(const std::string& targetPath, std::string* error) {
    Discard();
    targetPath_ = targetPath;
    // Beside the target, so the final rename stays on one volume, and short, so that it
    // fits wherever the target's name does; the process id keeps two runs in one folder
    // apart, and a name already taken (a leftover, or a planted link) is passed over,
    // never opened.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = TemporaryPathBeside(targetPath, attempt);
        InterruptionsHeld held;
        file_ = CreateNewFile(temp);
        if (file_ != nullptr) {
            tempPath_ = temp;
            token_ = RegisterTemporary(temp, TemporaryKind::kFile);
            return true;
        }
        if (errno != EEXIST) {
            *error = "cannot create " + Quoted(temp) + " for " + Quoted(targetPath) + ": " +
                     ErrnoText();
            return false;
        }
    }
    *error = "cannot create a temporary file for " + Quoted(targetPath) +
             ": every name tried is taken";
    return false;
}

bool ReplacingFileWriter::Write(const void* data, size_t n, std::string* error) {
    if (file_ == nullptr) {
        *error = "output is not open";
        return false;
    }
    if (n != 0 && std::fwrite(data, 1, n, file_) != n) {
        *error = "cannot write " + Quoted(targetPath_) + ": " + ErrnoText();
        Discard();
        return false;
    }
    return true;
}

bool ReplacingFileWriter::Commit(std::string* error) {
    if (file_ == nullptr) {
        *error = "output is not open";
        return false;
    }
    // Buffered data reaches the disk only now, so a full disk shows up here.
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        *error = "cannot write " + Quoted(targetPath_) + ": " + ErrnoText();
        Discard();
        return false;
    }
    // Moved and forgotten in one step: an interruption finds either the temporary or the
    // target written.
    InterruptionsHeld held;
    std::string why;
    if (!MoveReplacing(tempPath_, targetPath_, &why)) {
        *error = "cannot move " + Quoted(tempPath_) + " to " + Quoted(targetPath_) + ": " + why;
        Discard();
        return false;
    }
    ForgetTemporary(token_);
    token_ = -1;
    tempPath_.clear();
    return true;
}

}  // namespace sfx
