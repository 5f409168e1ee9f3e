#include "tools/sfxpack/package/pe_image.h"

#include <gtest/gtest.h>

#include <functional>

#include "format/package_format.h"
#include "mirrored_source.h"
#include "package_fixture.h"
#include "synthetic_pe.h"

namespace sfxtest {
namespace {

bool Parse(const std::vector<uint8_t>& b, sfx::PeImageInfo* info, std::string* reason) {
    return sfx::ParsePeImage(b.data(), b.size(), b.size(), info, reason);
}

// Each launcher build's image: the x86 one with its PE32 optional header, the x64 one with
// its PE32+ header.
class PeImage : public testing::TestWithParam<ImageKind> {};
INSTANTIATE_FOR_EACH_IMAGE_KIND(PeImage);

TEST_P(PeImage, ReportsHeaderFields) {
    const ImageKind& kind = GetParam();
    std::vector<uint8_t> image = BuildPeImage(kind, 2);
    PutLe(image, kind.SecurityDirAddress(), 0x1234, 4);
    PutLe(image, kind.SecurityDirSize(), 0x5678, 4);
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(Parse(image, &info, &reason)) << reason;
    EXPECT_EQ(info.peHeaderOffset, kLfanew);
    EXPECT_EQ(info.machine, kind.machine);
    EXPECT_STREQ(sfx::ArchitectureName(info.architecture), kind.architecture);
    EXPECT_EQ(info.optionalHeader == sfx::OptionalHeaderKind::kPe32Plus, kind.magic == 0x20B);
    EXPECT_EQ(info.numberOfSections, 2);
    EXPECT_EQ(info.subsystem, 2);
    EXPECT_EQ(info.checksumOffset, kOptionalHeader + 64);
    EXPECT_EQ(info.securityDirEntryOffset, kind.SecurityDirAddress());
    EXPECT_EQ(info.securityDirAddress, 0x1234u);
    EXPECT_EQ(info.securityDirSize, 0x5678u);
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
}

// The launcher of each word size finds its certificate table size through these shared
// constants alone: they must name the field in an image of its kind.
TEST_P(PeImage, TheLaunchersConstantsNameTheSecurityDirectorySize) {
    const ImageKind& kind = GetParam();
    const bool plus = kind.magic == 0x20B;
    const uint32_t span = plus ? sfx::kPe32PlusHeadersReadSize : sfx::kPeHeadersReadSize;
    const uint32_t size = plus ? sfx::kPe32PlusSecurityDirSizeOffset : sfx::kSecurityDirSizeOffset;
    EXPECT_EQ(span, kOptionalHeader - kLfanew + kind.optionalHeaderSize);
    EXPECT_EQ(kLfanew + size, kind.SecurityDirSize());
}

TEST_P(PeImage, EndOfSectionDataIsTheFurthestSectionNotTheLastInTheTable) {
    const uint32_t table = GetParam().SectionTable();
    std::vector<uint8_t> image = BuildPeImage(GetParam(), 2);
    // Swap the raw data of the two sections; the furthest now comes first in the table.
    PutLe(image, table + 20, 2 * kFileAlignment, 4);
    PutLe(image, table + 40 + 20, kFileAlignment, 4);
    // A section without raw data must not count, whatever its pointer says.
    image.resize(image.size() + kFileAlignment);
    PutLe(image, kLfanew + 6, 3, 2);
    PutLe(image, table + 80 + 20, 0x7FFFFFFF, 4);
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(Parse(image, &info, &reason)) << reason;
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
}

TEST_P(PeImage, RefusesDamagedHeadersWithAReason) {
    const ImageKind kind = GetParam();
    const uint32_t table = kind.SectionTable();
    // Room for the security directory, not for all sixteen.
    const uint32_t sixDirectories = kind.dataDirectories + 6 * 8;
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
        {"unknown magic", [](auto& b) { PutLe(b, kOptionalHeader, 0x107, 2); },
         "unknown optional header magic 0x107"},
        {"no optional header", [](auto& b) { PutLe(b, kLfanew + 20, 0, 2); }, "no optional header"},
        {"optional header too short", [](auto& b) { PutLe(b, kLfanew + 20, 120, 2); },
         "too short to hold the security directory"},
        {"directories beyond header", [&](auto& b) { PutLe(b, kLfanew + 20, sixDirectories, 2); },
         "too short for its 16"},
        {"four data directories", [&](auto& b) { PutLe(b, kind.NumberOfRvaAndSizes(), 4, 4); },
         "no security directory"},
        {"no sections", [](auto& b) { PutLe(b, kLfanew + 6, 0, 2); }, "no sections"},
        {"section table past end", [](auto& b) { PutLe(b, kLfanew + 6, 40, 2); }, "section table"},
        {"raw data past end", [&](auto& b) { PutLe(b, table + 40 + 16, 0x400, 4); },
         "past the end of the file"},
        {"raw data offset wraps", [&](auto& b) { PutLe(b, table + 20, 0xFFFFFF00u, 4); },
         "past the end of the file"},
        {"no raw data",
         [&](auto& b) {
             PutLe(b, table + 16, 0, 4);
             PutLe(b, table + 56, 0, 4);
         },
         "no section has raw data"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = BuildPeImage(kind, 2);
        c.damage(image);
        sfx::PeImageInfo info;
        std::string reason;
        EXPECT_FALSE(Parse(image, &info, &reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

// Only x86 and x64 launchers exist, and each reads its own optional header kind: an image
// of another machine, or a header of the other kind, would be read at the wrong offsets.
TEST(PeImageMachine, RefusesOtherMachinesAndHeadersOfTheOtherKind) {
    struct Case {
        const ImageKind& kind;
        uint16_t machine;
        uint16_t magic;
        const char* reason;
    };
    const Case cases[] = {
        {kPe32Plus, 0xAA64, 0x20B, "machine 0xAA64 is neither x86 (0x14C) nor x64 (0x8664)"},
        {kPe32, 0x1C4, 0x10B, "machine 0x1C4 is neither x86"},
        {kPe32, 0x0, 0x10B, "machine 0x0 is neither x86"},
        {kPe32, 0x14C, 0x20B,
         "PE32+ optional header (magic 0x20B) in an image of machine 0x14C (x86), which needs "
         "PE32 (0x10B)"},
        {kPe32Plus, 0x8664, 0x10B,
         "PE32 optional header (magic 0x10B) in an image of machine 0x8664 (x64), which needs "
         "PE32+ (0x20B)"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = BuildPeImage(c.kind, 2);
        PutLe(image, kLfanew + 4, c.machine, 2);
        PutLe(image, kOptionalHeader, c.magic, 2);
        sfx::PeImageInfo info;
        std::string reason;
        EXPECT_FALSE(Parse(image, &info, &reason)) << c.reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
}

// Every prefix is a truncated image; each buffer is exactly that long, so a read past
// its end would show up under a memory checker.
TEST_P(PeImage, EveryTruncationFailsWithoutReadingPastTheBuffer) {
    const std::vector<uint8_t> image = BuildPeImage(GetParam(), 2);
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
TEST_P(PeImage, ReadsOnlyFixedSpansWhereverTheHeadersLie) {
    std::vector<uint8_t> image = BuildPeImage(GetParam(), 2);
    const uint64_t launcherSpan = kOptionalHeader - kLfanew + GetParam().optionalHeaderSize;
    PutLe(image, 60, kFarOffset + kLfanew, 4);
    MirroredSource far(image.data(), image.size());
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_EQ(sfx::ReadPeImage(&far, far.Size(), &info, &reason), sfx::PeReadResult::kParsed)
        << reason;
    EXPECT_EQ(info.peHeaderOffset, kFarOffset + kLfanew);
    EXPECT_EQ(info.endOfSectionData, 3u * kFileAlignment);
    EXPECT_LE(far.bytesRead, 64u + 24 + 2 + launcherSpan + 2 * 40);

    // e_lfanew beyond the end of a large file: refused after reading the DOS header alone.
    PutLe(image, 60, 0x7FFFFF00, 4);
    MirroredSource beyond(image.data(), image.size(), 0x10000);
    EXPECT_EQ(sfx::ReadPeImage(&beyond, beyond.Size(), &info, &reason),
              sfx::PeReadResult::kRefused);
    EXPECT_NE(reason.find("file ends inside the PE file header"), std::string::npos) << reason;
    EXPECT_EQ(beyond.bytesRead, 64u);
}

// Only the headers may be at hand; what lies past them is named as such.
TEST_P(PeImage, HeadersAloneAreEnoughAndAShortReadIsNamed) {
    const std::vector<uint8_t> image = BuildPeImage(GetParam(), 2);
    const size_t headers = GetParam().SectionTable() + 2 * 40;
    sfx::PeImageInfo info;
    std::string reason;
    ASSERT_TRUE(sfx::ParsePeImage(image.data(), headers, image.size(), &info, &reason)) << reason;
    EXPECT_EQ(info.endOfSectionData, image.size());
    EXPECT_FALSE(sfx::ParsePeImage(image.data(), headers - 1, image.size(), &info, &reason));
    EXPECT_NE(reason.find("header bytes were read"), std::string::npos) << reason;
}

}  // namespace
}  // namespace sfxtest
