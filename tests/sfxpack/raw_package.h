// Packages assembled byte by byte, for what the writer refuses to make: hostile names,
// repeated names.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "format/entry_header_codec.h"
#include "format/package_format.h"

namespace sfxtest {

// (name bytes, content) per entry; a name is copied as is, up to 259 bytes.
using RawEntries = std::vector<std::pair<std::string, std::string>>;

inline std::vector<uint8_t> BuildRawPackage(const std::vector<uint8_t>& launcher,
                                            const RawEntries& entries) {
    std::vector<uint8_t> b = launcher;
    uint64_t total = 0;
    uint32_t index = sfx::kFirstEntryIndex;
    auto append = [&b](const sfx::EntryHeader& h) {
        uint8_t bytes[sfx::kEntryHeaderSize];
        sfx::EncodeEntryHeader(h, bytes);
        b.insert(b.end(), bytes, bytes + sizeof bytes);
    };
    for (const auto& e : entries) {
        sfx::EntryHeader h = {};
        h.FileCount = static_cast<int32_t>(entries.size());
        h.FileIndex = index++;
        h.FileSize = e.second.size();
        total += e.second.size();
        h.TotalSize = total;
        std::memcpy(h.FileName, e.first.data(), std::min<size_t>(e.first.size(), 259));
        append(h);
        b.insert(b.end(), e.second.begin(), e.second.end());
    }
    b.resize(b.size() + static_cast<size_t>(sfx::FillerLength(b.size())), sfx::kFillerByte);
    append(sfx::MakeTrailer(launcher.size()));
    return b;
}

}  // namespace sfxtest
