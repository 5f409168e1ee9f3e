// Reads the PE headers of a launcher image or of a package built from one. Input may be
// hostile: every field is checked against the bytes at hand before it is used, and only
// fixed spans are read (the DOS header, the headers at e_lfanew, the section table), so
// neither time nor memory grows with an offset the file gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/sfxpack/base/byte_source.h"

namespace sfx {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint16_t kMachineX86 = 0x14C;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint32_t kSecurityDirectory = 4;  // data directory index of the certificate table

// The two launcher builds: x86 images carry a PE32 optional header, x64 images a PE32+ one.
enum class PeArchitecture { kX86, kX64 };
enum class OptionalHeaderKind { kPe32, kPe32Plus };

// "x86" or "x64", as --arch takes it and the reports show it.
const char* ArchitectureName(PeArchitecture architecture);
// False when text names neither.
bool ParseArchitecture(const std::string& text, PeArchitecture* architecture);

struct PeImageInfo {
    uint32_t peHeaderOffset = 0;  // e_lfanew
    uint16_t machine = 0;
    PeArchitecture architecture = PeArchitecture::kX86;            // from machine
    OptionalHeaderKind optionalHeader = OptionalHeaderKind::kPe32;  // the one machine asks for
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

enum class PeReadResult {
    kParsed,
    kRefused,     // no x86 PE32 or x64 PE32+ image; *reason says why in plain words
    kReadFailed,  // the source could not be read; *reason is its error
};

// Parses the headers of a file that is fileSize bytes long, of which source holds the
// first source->Size() bytes (all of them, or only the headers). Section raw data is
// checked against fileSize.
PeReadResult ReadPeImage(ByteSource* source, uint64_t fileSize, PeImageInfo* info,
                         std::string* reason);

// The same over the first `size` bytes of a file in memory.
bool ParsePeImage(const uint8_t* data, size_t size, uint64_t fileSize, PeImageInfo* info,
                  std::string* reason);

}  // namespace sfx
