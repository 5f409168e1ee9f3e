// A minimal PE32 image built in memory, so the tests need no real launcher binary.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace sfxtest {

constexpr uint32_t kLfanew = 0x80;
constexpr uint32_t kOptionalHeader = kLfanew + 24;
constexpr uint32_t kSecurityDirAddress = kLfanew + 152;
constexpr uint32_t kSecurityDirSize = kLfanew + 156;
constexpr uint32_t kSectionTable = kOptionalHeader + 224;
constexpr uint32_t kFileAlignment = 0x200;

inline void PutLe(std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

inline uint64_t GetLe(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(b.at(at + i)) << (8 * i);
    return v;
}

// Headers fill the first 0x200 bytes; section i's raw data is the i-th 0x200 bytes after.
inline std::vector<uint8_t> BuildPe32Image(int sections = 2, uint16_t magic = 0x10B) {
    std::vector<uint8_t> b(kFileAlignment * (sections + 1), 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutLe(b, 60, kLfanew, 4);
    std::memcpy(&b[kLfanew], "PE\0\0", 4);
    PutLe(b, kLfanew + 4, 0x14C, 2);  // i386
    PutLe(b, kLfanew + 6, sections, 2);
    PutLe(b, kLfanew + 20, 224, 2);    // SizeOfOptionalHeader
    PutLe(b, kLfanew + 22, 0x102, 2);  // executable, 32-bit
    PutLe(b, kOptionalHeader, magic, 2);
    PutLe(b, kOptionalHeader + 16, 0x1000, 4);    // AddressOfEntryPoint
    PutLe(b, kOptionalHeader + 28, 0x400000, 4);  // ImageBase
    PutLe(b, kOptionalHeader + 32, 0x1000, 4);    // SectionAlignment
    PutLe(b, kOptionalHeader + 36, kFileAlignment, 4);
    PutLe(b, kOptionalHeader + 56, 0x1000 * (sections + 1), 4);  // SizeOfImage
    PutLe(b, kOptionalHeader + 60, kFileAlignment, 4);           // SizeOfHeaders
    PutLe(b, kOptionalHeader + 68, 2, 2);                        // GUI subsystem
    PutLe(b, kOptionalHeader + 92, 16, 4);                       // NumberOfRvaAndSizes
    for (int i = 0; i < sections; ++i) {
        const size_t s = kSectionTable + 40 * i;
        std::memcpy(&b[s], i == 0 ? ".text" : ".data", 5);
        PutLe(b, s + 8, kFileAlignment, 4);             // VirtualSize
        PutLe(b, s + 12, 0x1000 * (i + 1), 4);          // VirtualAddress
        PutLe(b, s + 16, kFileAlignment, 4);            // SizeOfRawData
        PutLe(b, s + 20, kFileAlignment * (i + 1), 4);  // PointerToRawData
        std::memset(&b[kFileAlignment * (i + 1)], 0xCC, kFileAlignment);
    }
    return b;
}

}  // namespace sfxtest
