// Random-access bytes the package reader works on: an open file, or a buffer in memory
// (for a fuzz target, or a package already loaded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace sfx {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly n bytes at offset; fails with *error when the source ends before them.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) override {
        // Written so that no sum can wrap, whatever offset a hostile header supplies.
        if (offset > size_ || n > size_ - offset) {
            *error = "data ends before byte " + std::to_string(offset) + " + " + std::to_string(n);
            return false;
        }
        if (n != 0) std::memcpy(buffer, data_ + offset, n);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace sfx
