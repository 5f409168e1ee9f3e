// Reads the PE headers of a launcher image or of a package built from one. Input may be
// hostile: every field is checked against the bytes at hand before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sfx {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;  // data directory index of the certificate table

struct PeImageInfo {
    uint32_t peHeaderOffset = 0;  // e_lfanew
    uint16_t machine = 0;
    uint16_t numberOfSections = 0;
    uint16_t subsystem = 0;
    uint32_t checksumOffset = 0;          // file offset of the optional header's CheckSum
    uint32_t securityDirEntryOffset = 0;  // file offset of data directory 4 (address, size)
    uint32_t securityDirAddress = 0;      // a file offset, unlike the other directories
    uint32_t securityDirSize = 0;
    // End of the raw data of the section that reaches furthest into the file: the image
    // proper ends here and anything behind it is appended data.
    uint64_t endOfSectionData = 0;
};

// How many leading bytes of the file the headers span, as far as the first `size` bytes
// tell. Read that many and ask again until the answer stops growing (at most three rounds).
uint64_t PeHeadersLength(const uint8_t* data, size_t size);

// Parses the headers from the first `size` bytes of a file that is `fileSize` bytes long
// (size may be less than fileSize when only the headers were read). Section raw data is
// checked against fileSize. On failure *reason says what is wrong in plain words.
bool ParsePeImage(const uint8_t* data, size_t size, uint64_t fileSize, PeImageInfo* info,
                  std::string* reason);

}  // namespace sfx
