// The real sfxpack started in the background, for tests that signal it while it works, and
// what they look at meanwhile: its temporaries, its children, a package large enough to
// keep it busy.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "format/entry_header_codec.h"
#include "format/package_format.h"
#include "scratch_dir.h"

namespace sfxtest {

// Polls until done() or the bound passes; the bound is generous, since a loaded machine
// may be slow to start a program, and a passing run does not wait for it.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Names in folder that an sfxpack temporary has.
inline std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (fs::directory_iterator it(folder, ignored), end; !ignored && it != end; it.increment(ignored)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(".sfxpack-", 0) == 0) found.push_back(name);
    }
    return found;
}

// The state letter of /proc/PID/stat and its parent; false when there is no such process.
inline bool ProcessState(pid_t pid, char* state, pid_t* parent) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 > stat.size()) return false;
    *state = stat[close + 2];
    *parent = static_cast<pid_t>(std::atol(stat.c_str() + close + 4));
    return true;
}

// Running, or stopped: anything but gone or a zombie nobody has reaped yet.
inline bool ProcessRuns(pid_t pid) {
    char state = 0;
    pid_t parent = 0;
    return ProcessState(pid, &state, &parent) && state != 'Z' && state != 'X';
}

inline std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::error_code ignored;
    for (fs::directory_iterator it("/proc", ignored), end; !ignored && it != end; it.increment(ignored)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        char state = 0;
        pid_t parent = 0;
        const pid_t child = static_cast<pid_t>(std::atol(name.c_str()));
        if (ProcessState(child, &state, &parent) && parent == pid && state != 'Z') {
            children.push_back(child);
        }
    }
    return children;
}

class SpawnedSfxpack {
public:
    // Starts sfxpack with args, its output into files in dir; pathPrefix, when given, goes
    // first on PATH (a stand-in for a program it runs).
    SpawnedSfxpack(const ScratchDir& dir, const std::vector<std::string>& args,
                   const std::string& pathPrefix = "")
        : outPath_(dir.Path("spawned.stdout")), errPath_(dir.Path("spawned.stderr")) {
        std::vector<std::string> strings = {SFXPACK_EXE};
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : strings) argv.push_back(&s[0]);
        argv.push_back(nullptr);
        const char* path = std::getenv("PATH");
        std::string pathVariable =
            "PATH=" + (pathPrefix.empty() ? "" : pathPrefix + ":") + (path ? path : "/usr/bin:/bin");
        std::vector<char*> env = {&pathVariable[0], nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            execve(argv[0], argv.data(), env.data());
            _exit(127);
        }
    }
    ~SpawnedSfxpack() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    SpawnedSfxpack(const SpawnedSfxpack&) = delete;
    SpawnedSfxpack& operator=(const SpawnedSfxpack&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() const { return !reaped_ && ProcessRuns(pid_); }
    void Signal(int signal) const { kill(pid_, signal); }

    // The exit code, or -1 when it did not exit (a signal it did not handle ended it).
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return Read(outPath_); }
    std::string Err() const { return Read(errPath_); }

private:
    static std::string Read(const std::string& path) {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// A package of run.bat and a large entry of zeros behind the launcher image; the large
// content is a hole in the file, so it costs no disk and no time to make, yet every verb
// reads all of it.
inline void WriteSparsePackage(const std::string& path, const std::vector<uint8_t>& image,
                               uint64_t bigSize) {
    const std::string runBat = "@exit 0\r\n";
    std::vector<uint8_t> head = image;
    auto header = [&](uint32_t index, uint64_t size, uint64_t total, const char* name) {
        sfx::EntryHeader h = {};
        h.FileCount = 2;
        h.FileIndex = index;
        h.FileSize = size;
        h.TotalSize = total;
        std::strncpy(h.FileName, name, sizeof h.FileName - 1);
        uint8_t bytes[sfx::kEntryHeaderSize];
        sfx::EncodeEntryHeader(h, bytes);
        head.insert(head.end(), bytes, bytes + sizeof bytes);
    };
    header(sfx::kFirstEntryIndex, runBat.size(), runBat.size(), "run.bat");
    head.insert(head.end(), runBat.begin(), runBat.end());
    header(sfx::kFirstEntryIndex + 1, bigSize, runBat.size() + bigSize, "big.bin");
    const uint64_t end = head.size() + bigSize;
    std::vector<uint8_t> tail(static_cast<size_t>(sfx::FillerLength(end)), sfx::kFillerByte);
    uint8_t trailer[sfx::kEntryHeaderSize];
    sfx::EncodeEntryHeader(sfx::MakeTrailer(image.size()), trailer);
    tail.insert(tail.end(), trailer, trailer + sizeof trailer);

    std::fstream f(path, std::ios::binary | std::ios::out | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    f.seekp(static_cast<std::streamoff>(end));
    f.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    ASSERT_TRUE(f.good()) << path;
}

}  // namespace sfxtest
