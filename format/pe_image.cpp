#include "format/pe_image.h"

#include <algorithm>
#include <cstdio>

#include "format/little_endian.h"
#include "format/package_format.h"

namespace sfx {
namespace {

constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kNtHeadersPrefix = 4 + kFileHeaderSize;  // signature + file header
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kDataDirectoriesOffset = 96;  // within the PE32 optional header
constexpr uint64_t kDataDirectorySize = 8;
constexpr uint64_t kMaxDataDirectories = 16;

std::string Hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

// Bounds checks that also explain whether the file itself or only our read is short.
class HeaderBytes {
public:
    HeaderBytes(const uint8_t* data, size_t size, uint64_t fileSize)
        : data_(data), size_(std::min<uint64_t>(size, fileSize)), fileSize_(fileSize) {}

    bool Has(uint64_t end, const char* what, std::string* reason) const {
        if (end <= size_) return true;
        if (end > fileSize_) {
            *reason = std::string("file ends inside the ") + what + " (needs " +
                      std::to_string(end) + " bytes, file has " + std::to_string(fileSize_) + ")";
        } else {
            *reason = std::string("only ") + std::to_string(size_) +
                      " header bytes were read; the " + what + " needs " + std::to_string(end);
        }
        return false;
    }
    uint16_t U16(uint64_t at) const { return LoadLe16(data_ + at); }
    uint32_t U32(uint64_t at) const { return LoadLe32(data_ + at); }
    uint8_t U8(uint64_t at) const { return data_[at]; }

private:
    const uint8_t* data_;
    uint64_t size_;
    uint64_t fileSize_;
};

}  // namespace

uint64_t PeHeadersLength(const uint8_t* data, size_t size) {
    if (size < kDosHeaderSize) return kDosHeaderSize;
    const int32_t lfanew = static_cast<int32_t>(LoadLe32(data + kLfanewOffset));
    if (lfanew < static_cast<int32_t>(kDosHeaderSize)) return kDosHeaderSize;
    const uint64_t nt = static_cast<uint64_t>(lfanew);
    if (size < nt + kNtHeadersPrefix) return nt + kNtHeadersPrefix;
    const uint64_t sections = LoadLe16(data + nt + 6);
    const uint64_t optionalSize = LoadLe16(data + nt + 20);
    return std::max(nt + kPeHeadersReadSize,
                    nt + kNtHeadersPrefix + optionalSize + sections * kSectionHeaderSize);
}

bool ParsePeImage(const uint8_t* data, size_t size, uint64_t fileSize, PeImageInfo* info,
                  std::string* reason) {
    const HeaderBytes b(data, size, fileSize);
    if (!b.Has(kDosHeaderSize, "DOS header", reason)) return false;
    if (b.U8(0) != 'M' || b.U8(1) != 'Z') {
        *reason = "no MZ signature: not an executable image";
        return false;
    }
    const int32_t lfanew = static_cast<int32_t>(b.U32(kLfanewOffset));
    if (lfanew < static_cast<int32_t>(kDosHeaderSize)) {
        *reason = "e_lfanew (" + std::to_string(lfanew) + ") does not point past the DOS header";
        return false;
    }
    const uint64_t nt = static_cast<uint64_t>(lfanew);
    if (!b.Has(nt + kNtHeadersPrefix, "PE file header", reason)) return false;
    if (b.U32(nt) != 0x00004550) {  // "PE\0\0"
        *reason = "no PE signature at e_lfanew (" + Hex(nt) + ")";
        return false;
    }
    const uint16_t sections = b.U16(nt + 6);
    const uint64_t optionalSize = b.U16(nt + 20);
    const uint64_t opt = nt + kNtHeadersPrefix;
    if (optionalSize < 2 || !b.Has(opt + 2, "optional header", reason)) {
        if (optionalSize < 2) *reason = "image has no optional header";
        return false;
    }
    const uint16_t magic = b.U16(opt);
    if (magic == kPe32PlusMagic) {
        *reason = "PE32+ (64-bit) image: only 32-bit PE32 images are supported";
        return false;
    }
    if (magic != kPe32Magic) {
        *reason = "unknown optional header magic " + Hex(magic) + " (expected 0x10B, PE32)";
        return false;
    }
    const uint64_t securityEntry =
        opt + kDataDirectoriesOffset + kSecurityDirectory * kDataDirectorySize;
    if (optionalSize < securityEntry + kDataDirectorySize - opt) {
        *reason = "optional header (" + std::to_string(optionalSize) +
                  " bytes) is too short to hold the security directory";
        return false;
    }
    // The launcher reads this fixed span at e_lfanew whatever the header sizes say.
    if (!b.Has(nt + kPeHeadersReadSize, "PE headers", reason)) return false;
    const uint32_t directories = b.U32(opt + 92);
    if (directories <= kSecurityDirectory) {
        *reason = "image declares " + std::to_string(directories) +
                  " data directories, so it has no security directory";
        return false;
    }
    const uint64_t counted = std::min<uint64_t>(directories, kMaxDataDirectories);
    if (optionalSize < kDataDirectoriesOffset + counted * kDataDirectorySize) {
        *reason = "optional header (" + std::to_string(optionalSize) +
                  " bytes) is too short for its " + std::to_string(counted) + " data directories";
        return false;
    }
    if (sections == 0) {
        *reason = "image has no sections";
        return false;
    }
    const uint64_t table = opt + optionalSize;
    if (!b.Has(table + sections * kSectionHeaderSize, "section table", reason)) return false;

    uint64_t end = 0;
    for (uint16_t i = 0; i < sections; ++i) {
        const uint64_t s = table + i * kSectionHeaderSize;
        const uint64_t rawSize = b.U32(s + 16);
        const uint64_t rawPointer = b.U32(s + 20);
        if (rawSize == 0) continue;
        if (rawPointer + rawSize > fileSize) {
            *reason = "raw data of section " + std::to_string(i + 1) + " ends at " +
                      std::to_string(rawPointer + rawSize) + ", past the end of the file (" +
                      std::to_string(fileSize) + " bytes)";
            return false;
        }
        end = std::max(end, rawPointer + rawSize);
    }
    if (end == 0) {
        *reason = "no section has raw data in the file";
        return false;
    }

    info->peHeaderOffset = static_cast<uint32_t>(nt);
    info->machine = b.U16(nt + 4);
    info->numberOfSections = sections;
    info->subsystem = b.U16(opt + 68);
    info->checksumOffset = static_cast<uint32_t>(opt + 64);
    info->securityDirEntryOffset = static_cast<uint32_t>(securityEntry);
    info->securityDirAddress = b.U32(securityEntry);
    info->securityDirSize = b.U32(securityEntry + 4);
    info->endOfSectionData = end;
    return true;
}

}  // namespace sfx
