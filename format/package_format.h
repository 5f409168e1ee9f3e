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
#include <type_traits>

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
constexpr uint32_t kPe32PlusHeadersReadSize = 264;  // the same with a PE32+ optional header
constexpr uint32_t kPe32PlusSecurityDirSizeOffset = 172;

// Each launcher build reads its own image with its own layout: the x86 one a PE32 optional
// header, the x64 one a PE32+ header. Neither ever reads an image of the other word size.
#if defined(_WIN64)
constexpr uint32_t kOwnPeHeadersReadSize = kPe32PlusHeadersReadSize;
constexpr uint32_t kOwnSecurityDirSizeOffset = kPe32PlusSecurityDirSizeOffset;
#else
constexpr uint32_t kOwnPeHeadersReadSize = kPeHeadersReadSize;
constexpr uint32_t kOwnSecurityDirSizeOffset = kSecurityDirSizeOffset;
#endif

// Distance of the trailer's first byte from the end of the file, given the certificate
// table size from the PE header. A size that is negative as a signed 32-bit value
// counts as no table at all.
constexpr uint64_t TrailerDistanceFromEnd(uint32_t securityDirSize) {
    return kEntryHeaderSize +
           (static_cast<int32_t>(securityDirSize) > 0 ? static_cast<uint64_t>(securityDirSize) : 0);
}

// Offset of the entry header that follows an entry whose header starts at headerOffset and
// whose content is fileSize bytes; false when that lies beyond what 64 bits can address.
constexpr bool NextEntryOffset(uint64_t headerOffset, uint64_t fileSize, uint64_t* next) {
    if (headerOffset > UINT64_MAX - kEntryHeaderSize) return false;
    const uint64_t content = headerOffset + kEntryHeaderSize;
    if (fileSize > UINT64_MAX - content) return false;
    *next = content + fileSize;
    return true;
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

// Code unit of a name as an unsigned number, so that a byte above 0x7F compares the same
// as the UTF-16 unit it becomes in code page 1252.
template <class Ch>
constexpr uint32_t NameUnit(Ch c) {
    return static_cast<uint32_t>(static_cast<typename std::make_unsigned<Ch>::type>(c));
}

// Letter case folded the way Windows compares these names: only a-z change.
template <class Ch>
constexpr Ch AsciiUpper(Ch c) {
    return (c >= Ch('a') && c <= Ch('z')) ? Ch(c - 'a' + 'A') : c;
}

// Digits that make COMn and LPTn device names: 1-9, and the superscripts 1, 2 and 3
// (0xB9, 0xB2, 0xB3 in code page 1252, the same values in UTF-16). 0 is refused as well.
constexpr bool IsDeviceDigit(uint32_t unit) {
    return (unit >= '0' && unit <= '9') || unit == 0xB9 || unit == 0xB2 || unit == 0xB3;
}

// True when name (n code units of any character type) is something the launcher may join
// to its work folder as given: not empty, no folder separator, no drive or stream colon,
// not ending in a dot or a blank (Windows drops those, so "run.bat." would replace
// "run.bat", and "." or ".." would name the folder itself or its parent), and no reserved
// device name (CON, NUL, COM1, COM followed by a superscript digit, ... with or without an
// extension), which Windows would open as a device rather than as a file in the folder.
template <class Ch>
bool IsSafeEntryName(const Ch* name, size_t n) {
    if (n == 0) return false;
    for (size_t i = 0; i < n; ++i) {
        const Ch c = name[i];
        if (c == Ch('\\') || c == Ch('/') || c == Ch(':') || c == Ch('\0')) return false;
    }
    if (name[n - 1] == Ch('.') || name[n - 1] == Ch(' ')) return false;

    // The device check looks at the part before the first dot, blanks at its end ignored.
    size_t stem = 0;
    while (stem < n && name[stem] != Ch('.')) ++stem;
    while (stem > 0 && name[stem - 1] == Ch(' ')) --stem;
    auto startsWith = [&](const char* word, size_t len) {
        for (size_t i = 0; i < len; ++i) {
            if (i >= stem || AsciiUpper(name[i]) != Ch(word[i])) return false;
        }
        return true;
    };
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices) {
        size_t len = 0;
        while (d[len] != '\0') ++len;
        if (stem == len && startsWith(d, len)) return false;
    }
    if (stem == 4 && (startsWith("COM", 3) || startsWith("LPT", 3)) &&
        IsDeviceDigit(NameUnit(name[3]))) {
        return false;
    }
    return true;
}

// Longest entry name every verb of sfxpack takes: a name component on Windows holds at
// most 255 characters, fewer than the header's name field would.
constexpr size_t kMaxEntryNameLength = 255;

// Why JudgeEntryName refuses a name.
enum class EntryNameFault {
    kNone,
    kEmpty,
    kFolder,              // "." or ".."
    kTooLong,             // more than kMaxEntryNameLength bytes
    kControl,             // a byte below 0x20
    kNotAscii,            // a byte above 0x7E: its meaning depends on the unpacking code page
    kForbidden,           // < > : " / \ | ? *, which Windows does not allow in a file name
    kTrailingDotOrBlank,  // Windows strips it, so the file lands under another name
    kDevice,              // CON, COM1, ... which Windows opens as a device
};

// The whole rule an entry name is judged by when sfxpack packs, lists, verifies or
// extracts: a name every code page reads alike and Windows creates as given, which the
// launcher then writes (it only checks IsSafeEntryName, which every such name passes).
// *at, when given, is where the offending byte is for kControl, kNotAscii and kForbidden.
inline EntryNameFault JudgeEntryName(const char* name, size_t n, size_t* at = nullptr) {
    if (n == 0) return EntryNameFault::kEmpty;
    if ((n == 1 && name[0] == '.') || (n == 2 && name[0] == '.' && name[1] == '.')) {
        return EntryNameFault::kFolder;
    }
    if (n > kMaxEntryNameLength) return EntryNameFault::kTooLong;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = NameUnit(name[i]);
        EntryNameFault fault = EntryNameFault::kNone;
        if (c < 0x20) {
            fault = EntryNameFault::kControl;
        } else if (c > 0x7E) {
            fault = EntryNameFault::kNotAscii;
        } else {
            for (const char* f = "<>:\"/\\|?*"; *f != '\0'; ++f) {
                if (c == static_cast<uint32_t>(*f)) fault = EntryNameFault::kForbidden;
            }
        }
        if (fault != EntryNameFault::kNone) {
            if (at != nullptr) *at = i;
            return fault;
        }
    }
    if (name[n - 1] == '.' || name[n - 1] == ' ') return EntryNameFault::kTrailingDotOrBlank;
    return IsSafeEntryName(name, n) ? EntryNameFault::kNone : EntryNameFault::kDevice;
}

// Number of characters before the "~" when name has the shape of a short 8.3 alias: at
// most eight characters before the dot, ending in "~" and digits, at least one character
// before the "~", at most three after the dot and no second dot. 0 when it has not.
template <class Ch>
size_t ShortAliasPrefixLength(const Ch* alias, size_t aliasLength) {
    size_t dot = 0;
    while (dot < aliasLength && alias[dot] != Ch('.')) ++dot;
    if (dot == 0 || dot > 8) return 0;
    if (dot < aliasLength) {
        const size_t extension = aliasLength - dot - 1;
        if (extension > 3) return 0;
        for (size_t i = dot + 1; i < aliasLength; ++i) {
            if (alias[i] == Ch('.')) return 0;
        }
    }
    size_t digits = 0;
    while (digits < dot && alias[dot - 1 - digits] >= Ch('0') && alias[dot - 1 - digits] <= Ch('9')) {
        ++digits;
    }
    if (digits == 0 || digits + 1 >= dot || alias[dot - 1 - digits] != Ch('~')) return 0;
    return dot - 1 - digits;
}

// True when Windows may give longName a short alias: a name that is already a valid 8.3
// name in upper case gets none (lower case counts as needing one, which only ever flags
// more).
template <class Ch>
bool NeedsShortAlias(const Ch* longName, size_t longLength) {
    size_t longDot = longLength;
    size_t dots = 0;
    for (size_t i = 0; i < longLength; ++i) {
        const Ch c = longName[i];
        if (c == Ch('.')) {
            ++dots;
            longDot = i;
        } else if (c == Ch(' ') || c == Ch('+') || c == Ch(',') || c == Ch(';') || c == Ch('=') ||
                   c == Ch('[') || c == Ch(']') || (c >= Ch('a') && c <= Ch('z')) ||
                   NameUnit(c) > 0x7E) {
            return true;
        }
    }
    return dots > 1 || longDot > 8 || (dots == 1 && longLength - longDot - 1 > 3);
}

// How many characters a short alias keeps from the start of its long name for comparison.
constexpr size_t kShortAliasKeptCharacters = 2;

// The first `count` characters of name that a short alias keeps (short names leave out
// blanks and dots), folded to upper case, into out; returns how many there were.
template <class Ch>
size_t LeadingShortNameCharacters(const Ch* name, size_t n, size_t count, Ch* out) {
    size_t got = 0;
    for (size_t i = 0; i < n && got < count; ++i) {
        if (name[i] == Ch(' ') || name[i] == Ch('.')) continue;
        out[got++] = AsciiUpper(name[i]);
    }
    return got;
}

// True when alias has the shape of a short 8.3 name that Windows may have given longName
// (ShortAliasPrefixLength), longName needs an alias (NeedsShortAlias), and both start with
// the same one or two characters (letter case ignored) once the characters that short
// names leave out are dropped from longName. Both are n code units of any character type.
// Windows may instead have built the alias from a hash after the first two characters,
// which this shape also covers.
template <class Ch>
bool HasShortAliasShapeOf(const Ch* alias, size_t aliasLength, const Ch* longName,
                          size_t longLength) {
    const size_t prefix = ShortAliasPrefixLength(alias, aliasLength);
    if (prefix == 0 || !NeedsShortAlias(longName, longLength)) return false;
    const size_t compare = prefix < kShortAliasKeptCharacters ? prefix : kShortAliasKeptCharacters;
    Ch kept[kShortAliasKeptCharacters];
    if (LeadingShortNameCharacters(longName, longLength, compare, kept) != compare) return false;
    for (size_t i = 0; i < compare; ++i) {
        if (kept[i] != AsciiUpper(alias[i])) return false;
    }
    return true;
}

}  // namespace sfx
