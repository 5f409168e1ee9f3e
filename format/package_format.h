// Layout of the package appended to the launcher image.
//
//   [launcher image, P bytes][entry header + content]...[0xFF filler][trailer][certificate table]
//
// The trailer is an EntryHeader whose FileSize holds P. It ends exactly where the
// certificate table begins (the end of the file when the image is unsigned), so the
// launcher finds it from the certificate table's size in its own PE header alone.
// This header is shared by the launcher and by the package tool: no windows.h here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

#pragma pack(push, 1)
struct EntryHeader {
    int32_t FileCount;   // entries in the package (same in every entry); 0 in the trailer
    uint32_t FileIndex;  // 2 for the first entry, rising by one; 1 in the trailer
    uint64_t FileSize;   // content bytes after this header; the image length P in the trailer
    uint64_t TotalSize;  // FileSize summed over this and all earlier entries; P in the trailer
    char FileName[260];  // ANSI name without folder part, NUL-terminated, rest zero
};
#pragma pack(pop)

constexpr uint32_t kEntryHeaderSize = 284;
constexpr uint32_t kFileNameField = 260;
constexpr uint32_t kMaxFileNameLength = kFileNameField - 1;  // bytes, without the NUL

static_assert(sizeof(EntryHeader) == kEntryHeaderSize, "EntryHeader must be 284 bytes");
static_assert(offsetof(EntryHeader, FileCount) == 0, "FileCount offset");
static_assert(offsetof(EntryHeader, FileIndex) == 4, "FileIndex offset");
static_assert(offsetof(EntryHeader, FileSize) == 8, "FileSize offset");
static_assert(offsetof(EntryHeader, TotalSize) == 16, "TotalSize offset");
static_assert(offsetof(EntryHeader, FileName) == 24, "FileName offset");

constexpr uint32_t kFirstEntryIndex = 2;
constexpr uint32_t kTrailerIndex = 1;
constexpr uint8_t kFillerByte = 0xFF;
// The trailer ends on this boundary; the signer starts the certificate table at the
// next multiple of 8, so a package ending on 16 keeps the table right behind the trailer.
constexpr uint32_t kTrailerAlignment = 16;
constexpr char kLauncherFileName[] = "VADuVavuVazo.exe";

// Where the launcher looks inside its own image.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kLfanewOffset = 60;        // signed 32-bit e_lfanew in the DOS header
constexpr uint32_t kPeHeadersReadSize = 248;  // signature + file header + PE32 optional header
constexpr uint32_t kSecurityDirSizeOffset = 156;  // within those 248 bytes: data directory 4 Size

// Distance of the trailer's first byte from the end of the file, given the certificate
// table size from the PE header. A size that is negative as a signed 32-bit value
// counts as no table at all.
constexpr uint64_t TrailerDistanceFromEnd(uint32_t securityDirSize) {
    return kEntryHeaderSize +
           (static_cast<int32_t>(securityDirSize) > 0 ? static_cast<uint64_t>(securityDirSize) : 0);
}

// Number of 0xFF bytes to put behind the last entry, which ends at endOfEntries, so that
// the trailer following them ends on a multiple of kTrailerAlignment.
constexpr uint64_t FillerLength(uint64_t endOfEntries) {
    return (kTrailerAlignment - (endOfEntries + kEntryHeaderSize) % kTrailerAlignment) %
           kTrailerAlignment;
}

// Length of the name in a FileName field: up to its first NUL, never past the field.
inline size_t FileNameLength(const char (&field)[kFileNameField]) {
    size_t n = 0;
    while (n < kFileNameField && field[n] != '\0') ++n;
    return n;
}

// True when name (n code units of any character type) is something the launcher may join
// to its work folder: not empty, not made of dots and blanks only (".", "..", "..." all
// resolve to the folder itself or above it), no folder separator, no drive or stream colon,
// and no reserved device name (CON, NUL, COM1, ... with or without an extension), which
// Windows would open as a device rather than as a file in the folder.
template <class Ch>
bool IsSafeEntryName(const Ch* name, size_t n) {
    if (n == 0) return false;
    bool onlyDotsAndBlanks = true;
    for (size_t i = 0; i < n; ++i) {
        const Ch c = name[i];
        if (c == Ch('\\') || c == Ch('/') || c == Ch(':') || c == Ch('\0')) return false;
        if (c != Ch('.') && c != Ch(' ')) onlyDotsAndBlanks = false;
    }
    if (onlyDotsAndBlanks) return false;

    // The device check looks at the part before the first dot, blanks at its end ignored.
    size_t stem = 0;
    while (stem < n && name[stem] != Ch('.')) ++stem;
    while (stem > 0 && name[stem - 1] == Ch(' ')) --stem;
    auto upper = [](Ch c) { return (c >= Ch('a') && c <= Ch('z')) ? Ch(c - 'a' + 'A') : c; };
    auto startsWith = [&](const char* word, size_t len) {
        for (size_t i = 0; i < len; ++i) {
            if (i >= stem || upper(name[i]) != Ch(word[i])) return false;
        }
        return true;
    };
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices) {
        size_t len = 0;
        while (d[len] != '\0') ++len;
        if (stem == len && startsWith(d, len)) return false;
    }
    if (stem == 4 && (startsWith("COM", 3) || startsWith("LPT", 3)) && name[3] >= Ch('0') &&
        name[3] <= Ch('9')) {
        return false;
    }
    return true;
}

}  // namespace sfx
