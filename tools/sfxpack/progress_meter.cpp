#include "tools/sfxpack/progress_meter.h"

#include <algorithm>
#include <cstdio>
#include <string>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tools/sfxpack/base/interruption.h"

namespace sfxpack {

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void ProgressMeter::Update(uint64_t done, uint64_t total) {
    if (!enabled_ || total <= kProgressThreshold) return;
    // Division, not done * 100, so no size can overflow; 100 only once all is done.
    const uint64_t percent = done >= total ? 100 : std::min<uint64_t>(99, done / (total / 100));
    if (static_cast<int>(percent) == shown_) return;
    shown_ = static_cast<int>(percent);
    const std::string line = "sfxpack: " + action_ + " " + std::to_string(percent) + "%";
    width_ = line.size();
    err_ << "\r" << line << std::flush;
    sfx::SetProgressLineOpen(true);
}

void ProgressMeter::Finish() {
    if (shown_ < 0) return;
    err_ << "\n" << std::flush;
    shown_ = -1;
    sfx::SetProgressLineOpen(false);
}

void ProgressMeter::Clear() {
    if (shown_ < 0) return;
    err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
    shown_ = -1;
    sfx::SetProgressLineOpen(false);
}

}  // namespace sfxpack
