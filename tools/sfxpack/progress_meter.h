// A percent line on stderr for long copies, rewritten in place with '\r'.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "tools/sfxpack/package/copy_progress.h"

namespace sfxpack {

// Copies up to this size finish too fast for a progress line to help.
constexpr uint64_t kProgressThreshold = 16ull << 20;

// True when the process's stderr is a terminal; a log or a pipe gets no progress lines.
bool StderrIsTerminal();

class ProgressMeter {
public:
    // Shows nothing unless enabled (stderr is a terminal) and the copy exceeds the threshold.
    ProgressMeter(std::ostream& err, const std::string& action, bool enabled)
        : err_(err), action_(action), enabled_(enabled) {}
    ~ProgressMeter() { Finish(); }
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    sfx::CopyProgress Callback() {
        return [this](uint64_t done, uint64_t total) { Update(done, total); };
    }
    void Update(uint64_t done, uint64_t total);
    // Ends the line, if one was started; a failure message then starts on a line of its own.
    void Finish();
    // Blanks the line, if one was started, so that another line can take its place; the next
    // update draws it again.
    void Clear();

private:
    std::ostream& err_;
    std::string action_;
    bool enabled_;
    int shown_ = -1;  // percent last printed, -1 before the first
    size_t width_ = 0;  // of the line last printed
};

}  // namespace sfxpack
