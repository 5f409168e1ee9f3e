#include "tools/sfxpack/package/pe_image.h"

#include <gtest/gtest.h>

#include <functional>

#include "mirrored_source.h"
#include "synthetic_pe.h"

namespace sfxtest {
namespace {

bool Parse(const std::vector<uint8_t>& b, sfx::PeImageInfo* info, std::string* reason) {
    return sfx::ParsePeImage(b.data(), b.size(), b.size(), info, reason);
}

TEST(PeImage, ReportsHeaderFieldsOfAPe32Image) {
    std::vector<uint8_t> image = BuildPe32Image(2);
    PutLe(image, kSecurityDirAddress, 0x1234, 4);
    PutLe(image, kSecurityDirSize, 0x5678, 4);
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(Parse(image, &info, &reason)) << reason;
    EXPECT_EQ(info.peHeaderOffset, kLfanew);
    EXPECT_EQ(info.machine, 0x14C);
    EXPECT_EQ(info.numberOfSections, 2);
    EXPECT_EQ(info.subsystem, 2);
    EXPECT_EQ(info.checksumOffset, kOptionalHeader + 64);
    EXPECT_EQ(info.securityDirEntryOffset, kSecurityDirAddress);
    EXPECT_EQ(info.securityDirAddress, 0x1234u);
    EXPECT_EQ(info.securityDirSize, 0x5678u);
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
}

TEST(PeImage, EndOfSectionDataIsTheFurthestSectionNotTheLastInTheTable) {
    std::vector<uint8_t> image = BuildPe32Image(2);
    // Swap the raw data of the two sections; the furthest now comes first in the table.
    PutLe(image, kSectionTable + 20, 2 * kFileAlignment, 4);
    PutLe(image, kSectionTable + 40 + 20, kFileAlignment, 4);
    // A section without raw data must not count, whatever its pointer says.
    image.resize(image.size() + kFileAlignment);
    PutLe(image, kLfanew + 6, 3, 2);
    PutLe(image, kSectionTable + 80 + 20, 0x7FFFFFFF, 4);
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(Parse(image, &info, &reason)) << reason;
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
}

TEST(PeImage, RefusesDamagedOrForeignHeadersWithAReason) {
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"no MZ", [](auto& b) { b[1] = 'X'; }, "MZ"},
        {"negative e_lfanew", [](auto& b) { PutLe(b, 60, 0x80000000u, 4); }, "e_lfanew"},
        {"e_lfanew inside DOS header", [](auto& b) { PutLe(b, 60, 8, 4); }, "e_lfanew"},
        {"e_lfanew past end", [](auto& b) { PutLe(b, 60, 0x10000, 4); }, "file ends inside"},
        {"no PE signature", [](auto& b) { b[kLfanew + 1] = 'X'; }, "PE signature"},
        {"PE32+", [](auto& b) { PutLe(b, kOptionalHeader, 0x20B, 2); }, "PE32+"},
        {"unknown magic", [](auto& b) { PutLe(b, kOptionalHeader, 0x107, 2); }, "magic"},
        {"no optional header", [](auto& b) { PutLe(b, kLfanew + 20, 0, 2); }, "no optional header"},
        {"optional header too short", [](auto& b) { PutLe(b, kLfanew + 20, 120, 2); },
         "too short to hold the security directory"},
        {"directories beyond header", [](auto& b) { PutLe(b, kLfanew + 20, 150, 2); },
         "too short for its 16"},
        {"four data directories", [](auto& b) { PutLe(b, kOptionalHeader + 92, 4, 4); },
         "no security directory"},
        {"no sections", [](auto& b) { PutLe(b, kLfanew + 6, 0, 2); }, "no sections"},
        {"section table past end", [](auto& b) { PutLe(b, kLfanew + 6, 40, 2); }, "section table"},
        {"raw data past end", [](auto& b) { PutLe(b, kSectionTable + 40 + 16, 0x400, 4); },
         "past the end of the file"},
        {"raw data offset wraps", [](auto& b) { PutLe(b, kSectionTable + 20, 0xFFFFFF00u, 4); },
         "past the end of the file"},
        {"no raw data",
         [](auto& b) {
             PutLe(b, kSectionTable + 16, 0, 4);
             PutLe(b, kSectionTable + 56, 0, 4);
         },
         "no section has raw data"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = BuildPe32Image(2);
        c.damage(image);
        sfx::PeImageInfo info;
        std::string reason;
        EXPECT_FALSE(Parse(image, &info, &reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

// Every prefix is a truncated image; each buffer is exactly that long, so a read past
// its end would show up under a memory checker.
TEST(PeImage, EveryTruncationFailsWithoutReadingPastTheBuffer) {
    const std::vector<uint8_t> image = BuildPe32Image(2);
    for (size_t n = 0; n < image.size(); ++n) {
        const std::vector<uint8_t> prefix(image.begin(), image.begin() + n);
        sfx::PeImageInfo info;
        std::string reason;
        EXPECT_FALSE(Parse(prefix, &info, &reason)) << n;
        EXPECT_FALSE(reason.empty()) << n;
    }
}

// Wherever e_lfanew points, only the DOS header, the span the launcher reads there and
// the section table are read: no read grows with the offset.
TEST(PeImage, ReadsOnlyFixedSpansWhereverTheHeadersLie) {
    std::vector<uint8_t> image = BuildPe32Image(2);
    PutLe(image, 60, kFarOffset + kLfanew, 4);
    MirroredSource far(image.data(), image.size());
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_EQ(sfx::ReadPeImage(&far, far.Size(), &info, &reason), sfx::PeReadResult::kParsed)
        << reason;
    EXPECT_EQ(info.peHeaderOffset, kFarOffset + kLfanew);
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
    EXPECT_LE(far.bytesRead, 64u + 24 + 2 + 248 + 2 * 40);

    // e_lfanew beyond the end of a large file: refused after reading the DOS header alone.
    PutLe(image, 60, 0x7FFFFF00, 4);
    MirroredSource beyond(image.data(), image.size(), 0x10000);
    EXPECT_EQ(sfx::ReadPeImage(&beyond, beyond.Size(), &info, &reason),
              sfx::PeReadResult::kRefused);
    EXPECT_NE(reason.find("file ends inside the PE file header"), std::string::npos) << reason;
    EXPECT_EQ(beyond.bytesRead, 64u);
}

// Only the headers may be at hand; what lies past them is named as such.
TEST(PeImage, HeadersAloneAreEnoughAndAShortReadIsNamed) {
    const std::vector<uint8_t> image = BuildPe32Image(2);
    const size_t headers = kSectionTable + 2 * 40;
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(sfx::ParsePeImage(image.data(), headers, image.size(), &info, &reason)) << reason;
    EXPECT_EQ(info.endOfSectionData, image.size());
    EXPECT_FALSE(sfx::ParsePeImage(image.data(), headers - 1, image.size(), &info, &reason));
    EXPECT_NE(reason.find("header bytes were read"), std::string::npos) << reason;
}

}  // namespace
}  // namespace sfxtest
