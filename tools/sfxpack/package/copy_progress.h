// Progress of a long copy, for a caller that wants to show it.
#pragma once

#include <cstdint>
#include <functional>

namespace sfx {

// Told the bytes done so far and the total after every chunk.
using CopyProgress = std::function<void(uint64_t done, uint64_t total)>;

// Adds up the chunks of a copy made of several files.
class ProgressCounter {
public:
    ProgressCounter(const CopyProgress& progress, uint64_t total)
        : progress_(progress), total_(total) {}
    void Add(uint64_t n) {
        done_ += n;
        if (progress_) progress_(done_, total_);
    }

private:
    const CopyProgress& progress_;
    uint64_t total_;
    uint64_t done_ = 0;
};

}  // namespace sfx
