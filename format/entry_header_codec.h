// Conversion between EntryHeader and its 284 on-disk bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "format/little_endian.h"
#include "format/package_format.h"

namespace sfx {

inline void EncodeEntryHeader(const EntryHeader& h, uint8_t (&out)[kEntryHeaderSize]) {
    StoreLe32(out + offsetof(EntryHeader, FileCount), static_cast<uint32_t>(h.FileCount));
    StoreLe32(out + offsetof(EntryHeader, FileIndex), h.FileIndex);
    StoreLe64(out + offsetof(EntryHeader, FileSize), h.FileSize);
    StoreLe64(out + offsetof(EntryHeader, TotalSize), h.TotalSize);
    std::memcpy(out + offsetof(EntryHeader, FileName), h.FileName, kFileNameField);
}

inline EntryHeader DecodeEntryHeader(const uint8_t (&in)[kEntryHeaderSize]) {
    EntryHeader h;
    h.FileCount = static_cast<int32_t>(LoadLe32(in + offsetof(EntryHeader, FileCount)));
    h.FileIndex = LoadLe32(in + offsetof(EntryHeader, FileIndex));
    h.FileSize = LoadLe64(in + offsetof(EntryHeader, FileSize));
    h.TotalSize = LoadLe64(in + offsetof(EntryHeader, TotalSize));
    std::memcpy(h.FileName, in + offsetof(EntryHeader, FileName), kFileNameField);
    return h;
}

// The header the launcher finds at the end: it only carries P, the launcher image length.
inline EntryHeader MakeTrailer(uint64_t imageLength) {
    EntryHeader t = {};
    t.FileCount = 0;
    t.FileIndex = kTrailerIndex;
    t.FileSize = imageLength;
    t.TotalSize = imageLength;
    std::memcpy(t.FileName, kLauncherFileName, sizeof(kLauncherFileName));
    return t;
}

}  // namespace sfx
