// Small file helpers shared by the package tool and its tests. Paths are UTF-8 on every
// platform; the Windows build converts them to UTF-16 so non-ANSI names work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/sfxpack/base/byte_source.h"

namespace sfx {

enum class PathKind { kMissing, kRegularFile, kDirectory, kOther };

PathKind GetPathKind(const std::string& path);
inline bool IsRegularFile(const std::string& path) {
    return GetPathKind(path) == PathKind::kRegularFile;
}

bool FileSizeOf(const std::string& path, uint64_t* size, std::string* error);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error);
// Exactly `length` bytes at `offset`; fails when the file is shorter.
bool ReadFileRange(const std::string& path, uint64_t offset, size_t length,
                   std::vector<uint8_t>* data, std::string* error);
// True when the file is gone afterwards (also when it never existed).
bool RemoveFile(const std::string& path);
// Creates the directory and any missing parents; true when it is a directory afterwards.
bool MakeDirectories(const std::string& path, std::string* error);
// Creates one directory; false when anything already has the name or it cannot be made,
// errno then saying why.
bool MakeNewDirectory(const std::string& path);
bool RemoveEmptyDirectory(const std::string& path);
// Moves from over to in one step, replacing a file or a link at to instead of following it.
bool MoveOver(const std::string& from, const std::string& to, std::string* error);
// The folder part of path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path);
// dir and name with one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);

// A file opened for reading, by position or front to back.
class InputFile : public ByteSource {
public:
    InputFile() = default;
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const std::string& path, std::string* error);
    uint64_t Size() const override { return size_; }
    // Exactly n bytes at offset; fails when the file ends before them.
    bool ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) override;
    // Up to n bytes from the current position; *got is 0 at the end of the file.
    bool ReadSome(void* buffer, size_t n, size_t* got, std::string* error);

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t size_ = 0;
};

// The number of this process, which the names of its temporaries carry.
unsigned long CurrentProcessId();

// Name of the temporary file ReplacingFileWriter tries for targetPath at that attempt
// (0, 1, ...): in the target's folder, and no longer than 40 characters whatever the
// target's name.
std::string TemporaryPathBeside(const std::string& targetPath, int attempt,
                                const std::string& suffix = ".tmp");

// Writes to a temporary file beside the target and moves it over the target on Commit,
// so a failure or an interruption at any point leaves the target as it was and no partial
// file behind (the temporary is registered with the interruption handler).
// The temporary file is always newly created, and the move replaces a link at the target
// instead of following it, so nothing is written outside the target's folder.
class ReplacingFileWriter {
public:
    ReplacingFileWriter() = default;
    ~ReplacingFileWriter();  // removes the temporary file unless committed
    ReplacingFileWriter(const ReplacingFileWriter&) = delete;
    ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

    bool Open(const std::string& targetPath, std::string* error);
    bool Write(const void* data, size_t n, std::string* error);
    bool Commit(std::string* error);
    const std::string& TempPath() const { return tempPath_; }

private:
    void Discard();

    std::FILE* file_ = nullptr;
    std::string targetPath_;
    std::string tempPath_;
    int token_ = -1;  // of the temporary in the interruption registry
};

}  // namespace sfx
