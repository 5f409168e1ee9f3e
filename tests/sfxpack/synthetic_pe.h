// Minimal PE32 (x86) and PE32+ (x64) images built in memory, so the tests need no real
// launcher binary.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace sfxtest {

constexpr uint32_t kLfanew = 0x80;
constexpr uint32_t kOptionalHeader = kLfanew + 24;
constexpr uint32_t kFileAlignment = 0x200;

// What sets the two launcher builds' images apart, and the file offsets of the fields
// the tests patch in an image that BuildPeImage made.
struct ImageKind {
    const char* name;  // a test name suffix
    const char* architecture;
    uint16_t machine;
    uint16_t magic;
    uint16_t optionalHeaderSize;
    uint32_t dataDirectories;  // within the optional header
    uint16_t characteristics;

    constexpr uint32_t SecurityDirAddress() const {
        return kOptionalHeader + dataDirectories + 4 * 8;
    }
    constexpr uint32_t SecurityDirSize() const { return SecurityDirAddress() + 4; }
    constexpr uint32_t NumberOfRvaAndSizes() const { return kOptionalHeader + dataDirectories - 4; }
    constexpr uint32_t SectionTable() const { return kOptionalHeader + optionalHeaderSize; }
};

// Executable, 32-bit machine / executable, large addresses.
constexpr ImageKind kPe32{"Pe32", "x86", 0x14C, 0x10B, 224, 96, 0x102};
constexpr ImageKind kPe32Plus{"Pe32Plus", "x64", 0x8664, 0x20B, 240, 112, 0x22};

inline void PutLe(std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

inline uint64_t GetLe(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(b.at(at + i)) << (8 * i);
    return v;
}

// Headers fill the first 0x200 bytes; section i's raw data is the i-th 0x200 bytes after.
inline std::vector<uint8_t> BuildPeImage(const ImageKind& kind, int sections = 2) {
    std::vector<uint8_t> b(kFileAlignment * (sections + 1), 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutLe(b, 60, kLfanew, 4);
    std::memcpy(&b[kLfanew], "PE\0\0", 4);
    PutLe(b, kLfanew + 4, kind.machine, 2);
    PutLe(b, kLfanew + 6, sections, 2);
    PutLe(b, kLfanew + 20, kind.optionalHeaderSize, 2);
    PutLe(b, kLfanew + 22, kind.characteristics, 2);
    PutLe(b, kOptionalHeader, kind.magic, 2);
    PutLe(b, kOptionalHeader + 16, 0x1000, 4);  // AddressOfEntryPoint
    if (kind.magic == kPe32Plus.magic) {
        PutLe(b, kOptionalHeader + 24, 0x140000000, 8);  // ImageBase, 64 bits wide
    } else {
        PutLe(b, kOptionalHeader + 28, 0x400000, 4);
    }
    PutLe(b, kOptionalHeader + 32, 0x1000, 4);    // SectionAlignment
    PutLe(b, kOptionalHeader + 36, kFileAlignment, 4);
    PutLe(b, kOptionalHeader + 56, 0x1000 * (sections + 1), 4);  // SizeOfImage
    PutLe(b, kOptionalHeader + 60, kFileAlignment, 4);           // SizeOfHeaders
    PutLe(b, kOptionalHeader + 68, 2, 2);                        // GUI subsystem
    PutLe(b, kind.NumberOfRvaAndSizes(), 16, 4);
    for (int i = 0; i < sections; ++i) {
        const size_t s = kind.SectionTable() + 40 * i;
        std::memcpy(&b[s], i == 0 ? ".text" : ".data", 5);
        PutLe(b, s + 8, kFileAlignment, 4);             // VirtualSize
        PutLe(b, s + 12, 0x1000 * (i + 1), 4);          // VirtualAddress
        PutLe(b, s + 16, kFileAlignment, 4);            // SizeOfRawData
        PutLe(b, s + 20, kFileAlignment * (i + 1), 4);  // PointerToRawData
        std::memset(&b[kFileAlignment * (i + 1)], 0xCC, kFileAlignment);
    }
    return b;
}

// A PE32 image; another magic makes one whose optional header does not fit its machine.
inline std::vector<uint8_t> BuildPe32Image(int sections = 2, uint16_t magic = kPe32.magic) {
    std::vector<uint8_t> b = BuildPeImage(kPe32, sections);
    PutLe(b, kOptionalHeader, magic, 2);
    return b;
}

}  // namespace sfxtest
