// Packages assembled byte by byte behind a launcher image, well-formed or damaged on
// purpose: what the package writer refuses to make (hostile or repeated names, headers that
// lie). Shared by the native tests, the fuzz seeds and the Windows tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "format/entry_header_codec.h"
#include "format/little_endian.h"
#include "format/package_format.h"

namespace sfxtest {

class RawPackage {
public:
    explicit RawPackage(std::vector<uint8_t> image) : image_(std::move(image)) {}

    // A well-formed entry; FileCount, FileIndex and TotalSize are filled in by Build. The
    // name is copied as is, up to the whole field (a 260-byte name leaves no NUL).
    RawPackage& Add(const std::string& name, const std::string& content) {
        Entry entry = {};
        std::memcpy(entry.header.FileName, name.data(),
                    name.size() < sfx::kFileNameField ? name.size() : sfx::kFileNameField);
        entry.header.FileSize = content.size();
        entry.content = content;
        entries_.push_back(entry);
        return *this;
    }

    // The last entry added, to damage its header before Build.
    sfx::EntryHeader& Last() { return entries_.back().header; }
    void KeepHeadersAsGiven() { fillHeaders_ = false; }

    std::vector<uint8_t> Build() {
        std::vector<uint8_t> file = image_;
        uint64_t total = 0;
        uint32_t index = sfx::kFirstEntryIndex;
        for (Entry& entry : entries_) {
            if (fillHeaders_) {
                entry.header.FileCount = static_cast<int32_t>(entries_.size());
                entry.header.FileIndex = index++;
                total += entry.header.FileSize;
                entry.header.TotalSize = total;
            }
            AppendHeader(file, entry.header);
            file.insert(file.end(), entry.content.begin(), entry.content.end());
        }
        file.insert(file.end(), static_cast<size_t>(sfx::FillerLength(file.size())),
                    sfx::kFillerByte);
        AppendHeader(file, sfx::MakeTrailer(image_.size()));
        return file;
    }

private:
    struct Entry {
        sfx::EntryHeader header;
        std::string content;
    };

    static void AppendHeader(std::vector<uint8_t>& file, const sfx::EntryHeader& header) {
        uint8_t bytes[sfx::kEntryHeaderSize];
        sfx::EncodeEntryHeader(header, bytes);
        file.insert(file.end(), bytes, bytes + sizeof bytes);
    }

    std::vector<uint8_t> image_;
    std::vector<Entry> entries_;
    bool fillHeaders_ = true;
};

// (name bytes, content) per entry.
using RawEntries = std::vector<std::pair<std::string, std::string>>;

inline std::vector<uint8_t> BuildRawPackage(const std::vector<uint8_t>& image,
                                            const RawEntries& entries) {
    RawPackage raw(image);
    for (const auto& e : entries) raw.Add(e.first, e.second);
    return raw.Build();
}

inline uint32_t PeOffset(const std::vector<uint8_t>& file) {
    return sfx::LoadLe32(file.data() + sfx::kLfanewOffset);
}

// Offset of the certificate table's Size from the PE signature, by the optional header's
// magic: PE32+ (x64 launcher) or PE32.
inline uint32_t SecurityDirSizeOffset(const std::vector<uint8_t>& file) {
    const uint32_t magicAt = PeOffset(file) + 24;
    const bool pe32Plus = file.size() >= magicAt + 2 && file[magicAt] == 0x0B && file[magicAt + 1] == 0x02;
    return pe32Plus ? sfx::kPe32PlusSecurityDirSizeOffset : sfx::kSecurityDirSizeOffset;
}

inline void PatchU32(std::vector<uint8_t>& file, size_t offset, uint32_t value) {
    sfx::StoreLe32(file.data() + offset, value);
}

// Appends a stand-in certificate table of size bytes (on a multiple of 8, as a signer
// places it) and points the security directory at it.
inline void AppendCertificateTable(std::vector<uint8_t>& file, uint32_t size) {
    while (file.size() % 8 != 0) file.push_back(0);
    const uint32_t at = static_cast<uint32_t>(file.size());
    file.insert(file.end(), size, 0x5A);
    PatchU32(file, PeOffset(file) + SecurityDirSizeOffset(file) - 4, at);
    PatchU32(file, PeOffset(file) + SecurityDirSizeOffset(file), size);
}

}  // namespace sfxtest
