// Builds package files byte by byte, well-formed or damaged on purpose, behind a real
// launcher image.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "format/package_format.h"

struct RawEntry {
    sfx::EntryHeader header;
    std::string content;
};

class RawPackage {
public:
    explicit RawPackage(std::vector<uint8_t> image) : m_image(std::move(image)) {}

    // A well-formed entry; FileCount, FileIndex and TotalSize are filled in by Build.
    RawPackage& Add(const std::string& name, const std::string& content) {
        RawEntry entry = {};
        memcpy(entry.header.FileName, name.data(), name.size() < 260 ? name.size() : 260);
        entry.header.FileSize = content.size();
        entry.content = content;
        m_entries.push_back(entry);
        return *this;
    }

    // The last entry added, to damage its header before Build.
    sfx::EntryHeader& Last() { return m_entries.back().header; }
    void KeepHeadersAsGiven() { m_fillHeaders = false; }

    std::vector<uint8_t> Build() {
        std::vector<uint8_t> file = m_image;
        uint64_t total = 0;
        uint32_t index = sfx::kFirstEntryIndex;
        for (RawEntry& entry : m_entries) {
            if (m_fillHeaders) {
                entry.header.FileCount = static_cast<int32_t>(m_entries.size());
                entry.header.FileIndex = index++;
                total += entry.header.FileSize;
                entry.header.TotalSize = total;
            }
            Append(file, &entry.header, sizeof(entry.header));
            Append(file, entry.content.data(), entry.content.size());
        }
        file.insert(file.end(), static_cast<size_t>(sfx::FillerLength(file.size())), sfx::kFillerByte);
        sfx::EntryHeader trailer = {};
        trailer.FileIndex = sfx::kTrailerIndex;
        trailer.FileSize = m_image.size();
        trailer.TotalSize = m_image.size();
        memcpy(trailer.FileName, sfx::kLauncherFileName, sizeof(sfx::kLauncherFileName));
        Append(file, &trailer, sizeof(trailer));
        return file;
    }

    static void Append(std::vector<uint8_t>& file, const void* data, size_t size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        file.insert(file.end(), bytes, bytes + size);
    }

private:
    std::vector<uint8_t> m_image;
    std::vector<RawEntry> m_entries;
    bool m_fillHeaders = true;
};

inline uint32_t PeOffset(const std::vector<uint8_t>& file) {
    uint32_t lfanew = 0;
    memcpy(&lfanew, file.data() + sfx::kLfanewOffset, 4);
    return lfanew;
}

inline void PatchU32(std::vector<uint8_t>& file, size_t offset, uint32_t value) {
    memcpy(file.data() + offset, &value, 4);
}

// Appends a stand-in certificate table of size bytes (on a multiple of 8, as a signer
// places it) and points the security directory at it.
inline void AppendCertificateTable(std::vector<uint8_t>& file, uint32_t size) {
    while (file.size() % 8 != 0) file.push_back(0);
    const uint32_t at = static_cast<uint32_t>(file.size());
    file.insert(file.end(), size, 0x5A);
    PatchU32(file, PeOffset(file) + sfx::kSecurityDirSizeOffset - 4, at);
    PatchU32(file, PeOffset(file) + sfx::kSecurityDirSizeOffset, size);
}
