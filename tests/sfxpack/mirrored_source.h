// A large file that is mostly 0xFF: the given bytes at its start and again at a far
// offset, as a sparse file would hold them. Reads are recorded, so a test can tell how
// much a reader touched of a file whose headers point far into it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/sfxpack/base/byte_source.h"

namespace sfxtest {

// Just below the largest positive e_lfanew.
constexpr uint64_t kFarOffset = 0x7FFF0000;

class MirroredSource : public sfx::ByteSource {
public:
    MirroredSource(const uint8_t* data, size_t size, uint64_t far = kFarOffset)
        : data_(data), size_(size), far_(std::max<uint64_t>(far, size)) {}

    uint64_t Size() const override { return far_ + size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) override {
        if (offset > Size() || n > Size() - offset) {
            *error = "data ends before byte " + std::to_string(offset) + " + " + std::to_string(n);
            return false;
        }
        bytesRead += n;
        largestRead = std::max<uint64_t>(largestRead, n);
        uint8_t* out = static_cast<uint8_t*>(buffer);
        std::memset(out, 0xFF, n);
        CopyPart(offset, out, n, 0);
        CopyPart(offset, out, n, far_);
        return true;
    }

    uint64_t bytesRead = 0;
    uint64_t largestRead = 0;

private:
    // Copies the overlap of [offset, offset + n) with the copy of the data at base.
    void CopyPart(uint64_t offset, uint8_t* out, size_t n, uint64_t base) const {
        const uint64_t begin = std::max(offset, base);
        const uint64_t end = std::min<uint64_t>(offset + n, base + size_);
        if (begin < end) {
            std::memcpy(out + (begin - offset), data_ + (begin - base),
                        static_cast<size_t>(end - begin));
        }
    }

    const uint8_t* data_;
    size_t size_;
    uint64_t far_;
};

}  // namespace sfxtest
