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
constexpr uint64_t kDataDirectorySize = 8;
constexpr uint64_t kMaxDataDirectories = 16;
constexpr size_t kSectionsPerRead = 32;
constexpr uint64_t kChecksumOffset = 64;   // within the optional header, either kind
constexpr uint64_t kSubsystemOffset = 68;  // likewise

// Where the two optional header kinds differ for what is read here. PE32+ widens
// ImageBase and the stack and heap sizes to 64 bits, which moves the data directories.
struct OptionalHeaderLayout {
    OptionalHeaderKind kind;
    const char* kindName;
    uint16_t magic;
    PeArchitecture architecture;
    uint16_t machine;
    uint64_t dataDirectories;  // offset within the optional header; NumberOfRvaAndSizes before
    uint32_t headersReadSize;  // the span the launcher of this word size reads at e_lfanew
};

constexpr OptionalHeaderLayout kLayouts[] = {
    {OptionalHeaderKind::kPe32, "PE32", kPe32Magic, PeArchitecture::kX86, kMachineX86, 96,
     kPeHeadersReadSize},
    {OptionalHeaderKind::kPe32Plus, "PE32+", kPe32PlusMagic, PeArchitecture::kX64, kMachineX64,
     112, kPe32PlusHeadersReadSize},
};
constexpr size_t kMaxHeadersReadSize = kPe32PlusHeadersReadSize;

constexpr uint64_t SecurityEntry(const OptionalHeaderLayout& l) {
    return kNtHeadersPrefix + l.dataDirectories + kSecurityDirectory * kDataDirectorySize;
}
// The launcher finds its package through the shared constants, this tool through the
// layouts: both must name the same bytes, and the span must end with the directories.
constexpr bool MatchesLauncher(const OptionalHeaderLayout& l, uint32_t securityDirSizeOffset) {
    return SecurityEntry(l) + 4 == securityDirSizeOffset &&
           l.headersReadSize <= kMaxHeadersReadSize &&
           kNtHeadersPrefix + l.dataDirectories + kMaxDataDirectories * kDataDirectorySize ==
               l.headersReadSize;
}
static_assert(MatchesLauncher(kLayouts[0], kSecurityDirSizeOffset) &&
                  MatchesLauncher(kLayouts[1], kPe32PlusSecurityDirSizeOffset),
              "the layouts disagree with the launcher's constants");

// The layout whose machine, or magic, is value; null when none has it.
const OptionalHeaderLayout* FindLayout(uint16_t OptionalHeaderLayout::*field, uint16_t value) {
    for (const OptionalHeaderLayout& l : kLayouts) {
        if (l.*field == value) return &l;
    }
    return nullptr;
}

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

// A header of the other kind, or of none, would be read at the wrong offsets.
PeReadResult RefuseMagic(const OptionalHeaderLayout& layout, uint16_t magic, std::string* reason) {
    const OptionalHeaderLayout* other = FindLayout(&OptionalHeaderLayout::magic, magic);
    const std::string found = other != nullptr ? std::string(other->kindName) +
                                                     " optional header (magic " + Hex(magic) + ")"
                                               : "unknown optional header magic " + Hex(magic);
    return Refuse(reason, found + " in an image of machine " + Hex(layout.machine) + " (" +
                              ArchitectureName(layout.architecture) + "), which needs " +
                              layout.kindName + " (" + Hex(layout.magic) + ")");
}

// The optional header's fields that matter here, from the fixed span the launcher of the
// machine's word size reads at e_lfanew; info gets them once they have passed.
PeReadResult ReadOptionalHeader(HeaderReader* reader, uint64_t nt, uint64_t optionalSize,
                                const OptionalHeaderLayout& layout, PeImageInfo* info,
                                std::string* reason) {
    const uint64_t opt = nt + kNtHeadersPrefix;
    uint8_t magicBytes[2];
    PeReadResult read = reader->Read(opt, magicBytes, sizeof magicBytes, "optional header", reason);
    if (read != PeReadResult::kParsed) return read;
    const uint16_t magic = LoadLe16(magicBytes);
    if (magic != layout.magic) return RefuseMagic(layout, magic, reason);
    const uint64_t securityEntry = nt + SecurityEntry(layout);
    if (optionalSize < securityEntry + kDataDirectorySize - opt) {
        return Refuse(reason, layout.kindName + std::string(" optional header (") +
                                  std::to_string(optionalSize) +
                                  " bytes) is too short to hold the security directory");
    }
    uint8_t h[kMaxHeadersReadSize];
    read = reader->Read(nt, h, layout.headersReadSize, "PE headers", reason);
    if (read != PeReadResult::kParsed) return read;
    const uint64_t o = kNtHeadersPrefix;  // the optional header within h
    const uint32_t directories = LoadLe32(h + o + layout.dataDirectories - 4);
    if (directories <= kSecurityDirectory) {
        return Refuse(reason, "image declares " + std::to_string(directories) +
                                  " data directories, so it has no security directory");
    }
    const uint64_t counted = std::min<uint64_t>(directories, kMaxDataDirectories);
    if (optionalSize < layout.dataDirectories + counted * kDataDirectorySize) {
        return Refuse(reason, layout.kindName + std::string(" optional header (") +
                                  std::to_string(optionalSize) + " bytes) is too short for its " +
                                  std::to_string(counted) + " data directories");
    }
    const uint64_t entry = securityEntry - nt;
    info->architecture = layout.architecture;
    info->optionalHeader = layout.kind;
    info->subsystem = LoadLe16(h + o + kSubsystemOffset);
    info->checksumOffset = static_cast<uint32_t>(opt + kChecksumOffset);
    info->securityDirEntryOffset = static_cast<uint32_t>(securityEntry);
    info->securityDirAddress = LoadLe32(h + entry);
    info->securityDirSize = LoadLe32(h + entry + 4);
    return PeReadResult::kParsed;
}

}  // namespace

const char* ArchitectureName(PeArchitecture architecture) {
    return architecture == PeArchitecture::kX64 ? "x64" : "x86";
}

bool ParseArchitecture(const std::string& text, PeArchitecture* architecture) {
    for (const OptionalHeaderLayout& l : kLayouts) {
        if (text == ArchitectureName(l.architecture)) {
            *architecture = l.architecture;
            return true;
        }
    }
    return false;
}

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
    const uint16_t machine = LoadLe16(fileHeader + 4);
    const OptionalHeaderLayout* layout = FindLayout(&OptionalHeaderLayout::machine, machine);
    if (layout == nullptr) {
        return Refuse(reason, "machine " + Hex(machine) + " is neither x86 (" + Hex(kMachineX86) +
                                  ") nor x64 (" + Hex(kMachineX64) + ")");
    }
    const uint16_t sections = LoadLe16(fileHeader + 6);
    const uint64_t optionalSize = LoadLe16(fileHeader + 20);
    if (optionalSize < 2) return Refuse(reason, "image has no optional header");

    PeImageInfo parsed;
    read = ReadOptionalHeader(&reader, nt, optionalSize, *layout, &parsed, reason);
    if (read != PeReadResult::kParsed) return read;
    if (sections == 0) return Refuse(reason, "image has no sections");
    read = ScanSections(&reader, nt + kNtHeadersPrefix + optionalSize, sections, fileSize,
                        &parsed.endOfSectionData, reason);
    if (read != PeReadResult::kParsed) return read;
    parsed.peHeaderOffset = static_cast<uint32_t>(nt);
    parsed.machine = machine;
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
