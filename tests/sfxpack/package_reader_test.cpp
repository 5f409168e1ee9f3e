#include "tools/sfxpack/package/package_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "format/package_format.h"
#include "package_fixture.h"

namespace sfxtest {
namespace {

constexpr uint64_t kHeader = sfx::kEntryHeaderSize;

std::string FirstProblem(const sfx::PackageReport& r) {
    return r.problems.empty() ? "none" : r.problems.front().text;
}

// Two entries of 5 and 10 bytes behind a 1536-byte launcher: 13 bytes of filler follow.
class ReaderTest : public PackageTest {
protected:
    explicit ReaderTest(const ImageKind& imageKind = kPe32) : PackageTest(imageKind) {}

    void SetUp() override {
        PackageTest::SetUp();
        path = Pack({AddInput("a.txt", "aaaaa"), AddInput("b.dat", "bbbbbbbbbb")});
        bytes = ReadBytes(path);
        p = launcherImage.size();
        second = p + kHeader + 5;
        fillerAt = second + kHeader + 10;
        trailer = bytes.size() - kHeader;
    }

    sfx::PackageReport Inspect(const std::vector<uint8_t>& b) {
        WriteBytes(path, b);
        sfx::PackageReport report;
        std::string error;
        EXPECT_TRUE(sfx::InspectPackage(path, &report, &error)) << error;
        return report;
    }

    // Appends a certificate table the way a signer does: padding to 8, then the table,
    // announced in the security directory.
    std::vector<uint8_t> Signed(std::vector<uint8_t> b, uint32_t tableSize) const {
        b.resize((b.size() + 7) / 8 * 8, 0);
        const uint64_t at = b.size();
        b.resize(b.size() + tableSize, 0x30);
        PutLe(b, at, tableSize, 4);   // WIN_CERTIFICATE dwLength
        PutLe(b, at + 4, 0x0200, 2);  // revision 2.0
        PutLe(b, at + 6, 0x0002, 2);  // PKCS#7 signed data
        PutLe(b, kind.SecurityDirAddress(), at, 4);
        PutLe(b, kind.SecurityDirSize(), tableSize, 4);
        return b;
    }

    void ExpectProblem(const std::vector<uint8_t>& b, const char* problem, const char* what) {
        const sfx::PackageReport r = Inspect(b);
        EXPECT_FALSE(r.intact) << what;
        const bool named = std::any_of(r.problems.begin(), r.problems.end(), [&](const auto& t) {
            return t.text.find(problem) != std::string::npos;
        });
        EXPECT_TRUE(named) << what << ": first problem: " << FirstProblem(r);
    }

    std::string path;
    std::vector<uint8_t> bytes;
    uint64_t p = 0, second = 0, fillerAt = 0, trailer = 0;
};

// Where the image's kind matters: the security directory, which each launcher finds at its
// own offset, and the headers before the package.
class EachImageReaderTest : public ForEachImageKind<ReaderTest> {};
INSTANTIATE_FOR_EACH_IMAGE_KIND(EachImageReaderTest);

TEST_P(EachImageReaderTest, ReportsEveryPartOfAnIntactPackage) {
    const sfx::PackageReport r = Inspect(bytes);
    EXPECT_TRUE(r.intact);
    EXPECT_TRUE(r.problems.empty()) << FirstProblem(r);
    EXPECT_EQ(r.fileLength, bytes.size());
    EXPECT_EQ(r.imageEnd, p);
    EXPECT_STREQ(sfx::ArchitectureName(r.architecture), kind.architecture);
    EXPECT_EQ(r.packageOffset, p);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_EQ(r.entries[0].index, 2u);
    EXPECT_EQ(r.entries[0].name, "a.txt");
    EXPECT_EQ(r.entries[0].size, 5u);
    EXPECT_EQ(r.entries[0].contentOffset, p + kHeader);
    EXPECT_EQ(r.entries[1].index, 3u);
    EXPECT_EQ(r.entries[1].name, "b.dat");
    EXPECT_EQ(r.entries[1].totalSize, 15u);
    EXPECT_EQ(r.entries[1].contentOffset, second + kHeader);
    EXPECT_EQ(r.entries[1].fileCount, 2);
    EXPECT_EQ(r.fillerOffset, fillerAt);
    EXPECT_EQ(r.fillerLength, 13u);
    EXPECT_EQ(r.trailerOffset, trailer);
    EXPECT_EQ(r.certificateSize, 0u);
}

TEST_F(ReaderTest, EmptyPackageIsIntact) {
    const sfx::PackageReport r = Inspect(ReadBytes(Pack({}, "empty.exe")));
    EXPECT_TRUE(r.intact) << FirstProblem(r);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_EQ(r.trailerOffset, p + sfx::FillerLength(p));
}

TEST_P(EachImageReaderTest, SignedPackageStillHasItsTrailerRightBeforeTheTable) {
    ASSERT_EQ(bytes.size() % 8, 0u);  // so the signer adds no padding
    const sfx::PackageReport r = Inspect(Signed(bytes, 1000));
    EXPECT_TRUE(r.intact) << FirstProblem(r);
    EXPECT_EQ(r.trailerOffset, trailer);
    EXPECT_EQ(r.certificateOffset, bytes.size());
    EXPECT_EQ(r.certificateSize, 1000u);
    EXPECT_EQ(r.entries.size(), 2u);
}

TEST_P(EachImageReaderTest, NamesTheFaultInABrokenField) {
    struct Case {
        const char* what;
        uint64_t at;
        uint64_t value;
        int width;
        const char* problem;
    };
    const Case cases[] = {
        {"entry size beyond trailer", p + 8, uint64_t(1) << 40, 8, "remain before the trailer"},
        {"FileIndex", second + 4, 7, 4, "FileIndex 7, expected 3"},
        {"TotalSize", second + 16, 10, 8, "add up to 15"},
        {"FileCount differs", second, 3, 4, "FileCount 3, the first entry 2"},
        {"FileCount wrong", p, 1, 4, "FileCount 1, but 2 entries"},
        {"byte after NUL", p + 24 + 200, 'x', 1, "after the NUL"},
        {"filler", fillerAt + 4, 0, 1, "other than 0xFF"},
        {"trailer name", trailer + 24, 'v', 1, "no trailer at"},
        {"trailer index", trailer + 4, 2, 4, "FileIndex 2 instead of 0 and 1"},
        {"trailer TotalSize", trailer + 16, 0, 8, "differs from its FileSize"},
        {"package offset moved", trailer + 8, p + 4, 8, "image ends at 1536"},
        {"package offset beyond trailer", trailer + 8, uint64_t(1) << 33, 8, "beyond the trailer"},
        {"negative table size", kind.SecurityDirSize(), 0x80000000u, 4, "negative"},
        {"table larger than file", kind.SecurityDirSize(), 0x7FFFFFFF, 4, "too short to hold a trailer"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = bytes;
        PutLe(b, static_cast<size_t>(c.at), c.value, c.width);
        ExpectProblem(b, c.problem, c.what);
    }
}

TEST_F(ReaderTest, NamesTheFaultInABrokenName) {
    const std::pair<std::string, const char*> cases[] = {
        {std::string("CON\0", 4), "cannot be extracted: its name 'CON' is a reserved device"},
        {"..\\ab", "cannot be extracted: its name '..\\ab' contains '\\', a folder separator"},
        {std::string(260, 'n'), "no NUL"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> b = bytes;
        std::copy(c.first.begin(), c.first.end(), b.begin() + p + 24);
        ExpectProblem(b, c.second, c.first.c_str());
    }
}

TEST_P(EachImageReaderTest, NamesTheFaultWhenTheTrailerIsNotWhereTheLauncherLooks) {
    std::vector<uint8_t> b = bytes;
    b.resize(b.size() + 16, 0);
    ExpectProblem(b, "no trailer at", "data appended");
    b.resize(bytes.size() - 1);
    ExpectProblem(b, "no trailer at", "last byte cut");
    b.resize(p + 100);
    ExpectProblem(b, "inside the launcher image", "cut into the image");

    b = bytes;  // claims the package's own tail as a certificate table
    PutLe(b, kind.SecurityDirAddress(), b.size() - 512, 4);
    PutLe(b, kind.SecurityDirSize(), 512, 4);
    ExpectProblem(b, "no trailer at", "table claimed over the package");
    b = Signed(bytes, 64);
    PutLe(b, kind.SecurityDirAddress(), b.size() - 56, 4);
    ExpectProblem(b, "does not end at the end of the file", "table address wrong");
    PutLe(b, kind.SecurityDirAddress(), 0, 4);
    ExpectProblem(b, "does not end at the end of the file", "table address missing");
}

// Every header, filler and trailer byte is covered by some check; only content bytes
// and the characters of a name may change without breaking the layout.
TEST_F(ReaderTest, AnyFlippedStructureByteIsDetected) {
    auto isFree = [this](uint64_t at) {
        const uint64_t starts[] = {p, second};
        const uint64_t nameLengths[] = {5, 5};
        const uint64_t sizes[] = {5, 10};
        for (int i = 0; i < 2; ++i) {
            if (at >= starts[i] + 24 && at <= starts[i] + 24 + nameLengths[i]) return true;
            if (at >= starts[i] + kHeader && at < starts[i] + kHeader + sizes[i]) return true;
        }
        return false;
    };
    for (uint64_t at = p; at < bytes.size(); ++at) {
        if (isFree(at)) continue;
        std::vector<uint8_t> b = bytes;
        b[at] ^= 0x5A;
        EXPECT_FALSE(Inspect(b).intact) << "byte " << at;
    }
}

TEST_P(EachImageReaderTest, HostileHeadersNeverCrashTheReader) {
    for (uint64_t at = 0; at < p; at += 3) {
        std::vector<uint8_t> b = bytes;
        b[at] ^= 0xA5;
        WriteBytes(path, b);
        sfx::PackageReport report;
        std::string error;
        if (!sfx::InspectPackage(path, &report, &error)) {
            EXPECT_FALSE(error.empty()) << at;
        }
    }
}

// The fuzz target's entry point: each buffer is exactly as long as the data, so a read
// past it would show up under a memory checker.
TEST_F(ReaderTest, InspectionOverMemoryMatchesTheFileAndSurvivesEveryTruncation) {
    std::vector<uint8_t> broken = bytes;
    PutLe(broken, second + 4, 7, 4);
    for (const std::vector<uint8_t>* b : {&bytes, &broken}) {
        const sfx::PackageReport fromFile = Inspect(*b);
        sfx::PackageReport fromMemory;
        std::string error;
        ASSERT_TRUE(sfx::InspectPackageData(b->data(), b->size(), &fromMemory, &error)) << error;
        EXPECT_EQ(fromMemory.intact, fromFile.intact);
        EXPECT_EQ(fromMemory.problems, fromFile.problems);
        EXPECT_EQ(fromMemory.entries.size(), fromFile.entries.size());
        EXPECT_EQ(fromMemory.trailerOffset, fromFile.trailerOffset);
    }
    for (size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + n);
        sfx::PackageReport r;
        std::string error;
        if (sfx::InspectPackageData(prefix.data(), prefix.size(), &r, &error)) {
            EXPECT_FALSE(r.intact) << n;
        } else {
            EXPECT_FALSE(error.empty()) << n;
        }
    }
}

TEST_F(ReaderTest, FileThatIsNoImageIsAnError) {
    sfx::PackageReport report;
    std::string error;
    bytes.resize(1000);  // cuts into the last section
    WriteBytes(path, bytes);
    EXPECT_FALSE(sfx::InspectPackage(path, &report, &error));
    EXPECT_NE(error.find("not an x86 or x64 Windows image"), std::string::npos) << error;
    EXPECT_FALSE(sfx::InspectPackage(dir.Path("missing.exe"), &report, &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
}

}  // namespace
}  // namespace sfxtest
