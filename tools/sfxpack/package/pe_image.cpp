#include "tools/sfxpack/package/pe_image.h"

#include <algorithm>

#include "format/little_endian.h"
#include "format/package_format.h"
#include "tools/sfxpack/base/text.h"

namespace sfx {
namespace {

constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kNtHeadersPrefix = 4 + kFileHeaderSize;  // signature + file header
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kDataDirectoriesOffset = 96;  // within the PE32 optional header
constexpr uint64_t kDataDirectorySize = 8;
constexpr uint64_t kMaxDataDirectories = 16;
constexpr size_t kSectionsPerRead = 32;

// Reads of small spans, with bounds checks that also tell whether the file itself or
// only the bytes at hand are short.
class HeaderReader {
public:
    HeaderReader(ByteSource* source, uint64_t fileSize)
        : source_(source), fileSize_(fileSize), have_(std::min(source->Size(), fileSize)) {}

    bool Covers(uint64_t end, const char* what, std::string* reason) const {
        if (end <= have_) return true;
        if (end > fileSize_) {
            *reason = std::string("file ends inside the ") + what + " (needs " +
                      std::to_string(end) + " bytes, file has " + std::to_string(fileSize_) + ")";
        } else {
            *reason = std::string("only ") + std::to_string(have_) +
                      " header bytes were read; the " + what + " needs " + std::to_string(end);
        }
        return false;
    }
    PeReadResult Read(uint64_t at, void* out, size_t n, const char* what, std::string* reason) {
        if (!Covers(at + n, what, reason)) return PeReadResult::kRefused;
        return source_->ReadAt(at, out, n, reason) ? PeReadResult::kParsed
                                                   : PeReadResult::kReadFailed;
    }

private:
    ByteSource* source_;
    uint64_t fileSize_;
    uint64_t have_;
};

PeReadResult Refuse(std::string* reason, const std::string& text) {
    *reason = text;
    return PeReadResult::kRefused;
}

// The end of the section raw data that reaches furthest, read a few headers at a time.
PeReadResult ScanSections(HeaderReader* reader, uint64_t table, uint16_t sections,
                          uint64_t fileSize, uint64_t* end, std::string* reason) {
    if (!reader->Covers(table + sections * kSectionHeaderSize, "section table", reason)) {
        return PeReadResult::kRefused;
    }
    uint8_t batch[kSectionsPerRead * kSectionHeaderSize];
    *end = 0;
    for (size_t first = 0; first < sections; first += kSectionsPerRead) {
        const size_t count = std::min<size_t>(kSectionsPerRead, sections - first);
        const PeReadResult read = reader->Read(table + first * kSectionHeaderSize, batch,
                                               count * kSectionHeaderSize, "section table", reason);
        if (read != PeReadResult::kParsed) return read;
        for (size_t i = 0; i < count; ++i) {
            const uint64_t rawSize = LoadLe32(batch + i * kSectionHeaderSize + 16);
            const uint64_t rawPointer = LoadLe32(batch + i * kSectionHeaderSize + 20);
            if (rawSize == 0) continue;
            if (rawPointer + rawSize > fileSize) {
                return Refuse(reason, "raw data of section " + std::to_string(first + i + 1) +
                                          " ends at " + std::to_string(rawPointer + rawSize) +
                                          ", past the end of the file (" +
                                          std::to_string(fileSize) + " bytes)");
            }
            *end = std::max(*end, rawPointer + rawSize);
        }
    }
    if (*end == 0) return Refuse(reason, "no section has raw data in the file");
    return PeReadResult::kParsed;
}

// The optional header's fields that matter here, from the fixed span the launcher reads
// at e_lfanew; info gets them once they have passed.
PeReadResult ReadOptionalHeader(HeaderReader* reader, uint64_t nt, uint64_t optionalSize,
                                PeImageInfo* info, std::string* reason) {
    const uint64_t opt = nt + kNtHeadersPrefix;
    uint8_t magicBytes[2];
    PeReadResult read = reader->Read(opt, magicBytes, sizeof magicBytes, "optional header", reason);
    if (read != PeReadResult::kParsed) return read;
    const uint16_t magic = LoadLe16(magicBytes);
    if (magic == kPe32PlusMagic) {
        return Refuse(reason, "PE32+ (64-bit) image: only 32-bit PE32 images are supported");
    }
    if (magic != kPe32Magic) {
        return Refuse(reason, "unknown optional header magic " + Hex(magic) +
                                  " (expected 0x10B, PE32)");
    }
    const uint64_t securityEntry =
        opt + kDataDirectoriesOffset + kSecurityDirectory * kDataDirectorySize;
    if (optionalSize < securityEntry + kDataDirectorySize - opt) {
        return Refuse(reason, "optional header (" + std::to_string(optionalSize) +
                                  " bytes) is too short to hold the security directory");
    }
    uint8_t h[kPeHeadersReadSize];
    read = reader->Read(nt, h, sizeof h, "PE headers", reason);
    if (read != PeReadResult::kParsed) return read;
    const uint64_t o = kNtHeadersPrefix;  // the optional header within h
    const uint32_t directories = LoadLe32(h + o + 92);
    if (directories <= kSecurityDirectory) {
        return Refuse(reason, "image declares " + std::to_string(directories) +
                                  " data directories, so it has no security directory");
    }
    const uint64_t counted = std::min<uint64_t>(directories, kMaxDataDirectories);
    if (optionalSize < kDataDirectoriesOffset + counted * kDataDirectorySize) {
        return Refuse(reason, "optional header (" + std::to_string(optionalSize) +
                                  " bytes) is too short for its " + std::to_string(counted) +
                                  " data directories");
    }
    const uint64_t entry = securityEntry - nt;
    info->subsystem = LoadLe16(h + o + 68);
    info->checksumOffset = static_cast<uint32_t>(opt + 64);
    info->securityDirEntryOffset = static_cast<uint32_t>(securityEntry);
    info->securityDirAddress = LoadLe32(h + entry);
    info->securityDirSize = LoadLe32(h + entry + 4);
    return PeReadResult::kParsed;
}

}  // namespace

PeReadResult ReadPeImage(ByteSource* source, uint64_t fileSize, PeImageInfo* info,
                         std::string* reason) {
    HeaderReader reader(source, fileSize);
    uint8_t dos[kDosHeaderSize];
    PeReadResult read = reader.Read(0, dos, sizeof dos, "DOS header", reason);
    if (read != PeReadResult::kParsed) return read;
    if (dos[0] != 'M' || dos[1] != 'Z') return Refuse(reason, "no MZ signature: not an executable image");
    const int32_t lfanew = static_cast<int32_t>(LoadLe32(dos + kLfanewOffset));
    if (lfanew < static_cast<int32_t>(kDosHeaderSize)) {
        return Refuse(reason, "e_lfanew (" + std::to_string(lfanew) +
                                  ") does not point past the DOS header");
    }
    const uint64_t nt = static_cast<uint64_t>(lfanew);
    uint8_t fileHeader[kNtHeadersPrefix];
    read = reader.Read(nt, fileHeader, sizeof fileHeader, "PE file header", reason);
    if (read != PeReadResult::kParsed) return read;
    if (LoadLe32(fileHeader) != 0x00004550) {  // "PE\0\0"
        return Refuse(reason, "no PE signature at e_lfanew (" + Hex(nt) + ")");
    }
    const uint16_t sections = LoadLe16(fileHeader + 6);
    const uint64_t optionalSize = LoadLe16(fileHeader + 20);
    if (optionalSize < 2) return Refuse(reason, "image has no optional header");

    PeImageInfo parsed;
    read = ReadOptionalHeader(&reader, nt, optionalSize, &parsed, reason);
    if (read != PeReadResult::kParsed) return read;
    if (sections == 0) return Refuse(reason, "image has no sections");
    read = ScanSections(&reader, nt + kNtHeadersPrefix + optionalSize, sections, fileSize,
                        &parsed.endOfSectionData, reason);
    if (read != PeReadResult::kParsed) return read;
    parsed.peHeaderOffset = static_cast<uint32_t>(nt);
    parsed.machine = LoadLe16(fileHeader + 4);
    parsed.numberOfSections = sections;
    *info = parsed;
    return PeReadResult::kParsed;
}

bool ParsePeImage(const uint8_t* data, size_t size, uint64_t fileSize, PeImageInfo* info,
                  std::string* reason) {
    MemoryByteSource source(data, size);
    return ReadPeImage(&source, fileSize, info, reason) == PeReadResult::kParsed;
}

}  // namespace sfx
