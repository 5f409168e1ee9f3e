#include <gtest/gtest.h>

#include "common/raw_package.h"
#include "package/unpack.h"
#include "support/scoped_seam.h"
#include "support/test_folder.h"
#include "support/unix_link.h"

namespace {

using sfxtest::AppendCertificateTable;
using sfxtest::PatchU32;
using sfxtest::PeOffset;
using sfxtest::SecurityDirSizeOffset;
using sfxtest::RawPackage;

// Free-space figures for the fake query, and what it was asked.
struct FreeSpaceFake {
    static ULONGLONG figure;
    static std::vector<std::wstring> folders;
    static DWORD threadId;
    static BOOL WINAPI Query(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                             PULARGE_INTEGER totalFree) {
        folders.push_back(folder == nullptr ? L"<null>" : folder);
        threadId = GetCurrentThreadId();
        available->QuadPart = 0;  // only the volume's total free bytes may count
        total->QuadPart = figure * 2;
        totalFree->QuadPart = figure;
        return TRUE;
    }
};
ULONGLONG FreeSpaceFake::figure = 0;
std::vector<std::wstring> FreeSpaceFake::folders;
DWORD FreeSpaceFake::threadId = 0;

class UnpackTest : public ::testing::Test {
protected:
    TestFolder root;
    std::wstring temp = root / L"tmp\\";
    std::wstring package = root / L"package.exe";
    std::vector<uint8_t> image = ReadBytes(LauncherPath());

    void SetUp() override {
        ASSERT_FALSE(image.empty());
        CreateDirectoryW(temp.c_str(), nullptr);
        FreeSpaceFake::figure = 1ULL << 40;
        FreeSpaceFake::folders.clear();
    }

    std::wstring WorkFolder() const { return temp + L"unpack\\"; }

    int Unpack(const std::vector<uint8_t>& file) {
        EXPECT_TRUE(WriteBytes(package, file));
        ScopedTempDirectory scoped(temp);
        CUnPack unpacker(package);
        const ScopedSeam<CUnPack::FreeSpaceQuery> fake(
            [&unpacker](CUnPack::FreeSpaceQuery q) { return unpacker.SetFreeSpaceQueryForTest(q); },
            FreeSpaceFake::Query);
        return unpacker.UnPackFiles();
    }

    uint64_t FindHeader(const std::vector<uint8_t>& file) {
        EXPECT_TRUE(WriteBytes(package, file));
        ScopedTempDirectory scoped(temp);
        return CUnPack(package).FindHeader();
    }

    std::vector<std::wstring> Messages() const {
        return LogMessages(temp + L"unpack.log");
    }

    bool Logged(const std::wstring& message) const {
        for (const std::wstring& m : Messages()) {
            if (m == message) return true;
        }
        return false;
    }

    std::string Content(const std::wstring& name) const {
        const std::vector<uint8_t> bytes = ReadBytes(WorkFolder() + name);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(UnpackTest, FindsThePackageOfAnUnsignedImage) {
    const std::vector<uint8_t> file = RawPackage(image).Add("a.txt", "x").Build();
    EXPECT_EQ(FindHeader(file), image.size());
    const std::vector<std::wstring> expected = {
        L"[CUnPack::FindHeader] Name:" + package,
        L"[CUnPack::FindHeader] Sign Size:0",
        L"[CUnPack::FindHeader] Header offset:" + std::to_wstring(image.size()),
    };
    EXPECT_EQ(Messages(), expected);
}

TEST_F(UnpackTest, FindsTheTrailerAheadOfACertificateTable) {
    std::vector<uint8_t> file = RawPackage(image).Add("a.txt", "x").Build();
    AppendCertificateTable(file, 10248);
    EXPECT_EQ(FindHeader(file), image.size());
    EXPECT_TRUE(Logged(L"[CUnPack::FindHeader] Sign Size:10248"));
}

TEST_F(UnpackTest, ANegativeCertificateTableSizeCountsAsNone) {
    std::vector<uint8_t> file = RawPackage(image).Add("a.txt", "x").Build();
    PatchU32(file, PeOffset(file) + SecurityDirSizeOffset(file), 0x80000000u);
    EXPECT_EQ(FindHeader(file), image.size());
    EXPECT_TRUE(Logged(L"[CUnPack::FindHeader] Sign Size:-2147483648"));
}

TEST_F(UnpackTest, DamagedImagesHaveNoPackage) {
    const std::vector<uint8_t> good = RawPackage(image).Add("a.txt", "x").Build();
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> f = good;
        PatchU32(f, sfx::kLfanewOffset, static_cast<uint32_t>(f.size() + 1));
        cases.push_back({"e_lfanew beyond the file", f});
        PatchU32(f, sfx::kLfanewOffset, 0xFFFFFF00u);
        cases.push_back({"negative e_lfanew", f});
    }
    {
        std::vector<uint8_t> f = good;
        PatchU32(f, PeOffset(f) + SecurityDirSizeOffset(f), static_cast<uint32_t>(f.size() * 2));
        cases.push_back({"certificate table larger than the file", f});
    }
    {
        std::vector<uint8_t> f = good;
        memset(f.data() + f.size() - 284 + 8, 0, 8);  // trailer FileSize
        cases.push_back({"trailer offset 0", f});
    }
    cases.push_back({"file shorter than its headers", std::vector<uint8_t>(good.begin(), good.begin() + 200)});
    cases.push_back({"empty file", {}});
    for (const Case& c : cases) {
        EXPECT_EQ(FindHeader(c.file), 0u) << c.what;
    }
    EXPECT_FALSE(FileExists(WorkFolder()));
}

TEST_F(UnpackTest, ReturnsTheWholeOffsetButLogsItsLow32Bits) {
    std::vector<uint8_t> file = RawPackage(image).Build();
    const uint64_t offset = 0x100000200ULL;
    memcpy(file.data() + file.size() - 284 + 8, &offset, 8);
    EXPECT_EQ(FindHeader(file), offset);
    EXPECT_TRUE(Logged(L"[CUnPack::FindHeader] Header offset:512"));
}

TEST_F(UnpackTest, UnpacksEveryEntryWithItsExactBytes) {
    std::string odd(2500, '\0');
    for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<char>(i * 7);
    const std::string blocks(2048, 'b');
    const std::vector<uint8_t> file =
        RawPackage(image).Add("empty.txt", "").Add("blocks.bin", blocks).Add("odd.bin", odd).Build();
    EXPECT_EQ(Unpack(file), 1);
    EXPECT_TRUE(FileExists(WorkFolder() + L"empty.txt"));
    EXPECT_EQ(Content(L"empty.txt"), "");
    EXPECT_EQ(Content(L"blocks.bin"), blocks);
    EXPECT_EQ(Content(L"odd.bin"), odd);

    const std::wstring w = WorkFolder();
    const std::vector<std::wstring> messages = Messages();
    const std::vector<std::wstring> tail(messages.begin() + 3, messages.end());
    const std::vector<std::wstring> expected = {
        L"[CUnPack::UnPackFiles]  FreeSpace:1099511627776 FileSize:0",
        L"[CUnPack::UnPackFiles] (1/3)UnPack file name:" + w + L"empty.txt (0)",
        L"[CUnPack::UnPackFiles] UnPack count:1 len:0 File:" + w + L"empty.txt",
        L"[CUnPack::UnPackFiles]  FreeSpace:1099511627776 FileSize:2048",
        L"[CUnPack::UnPackFiles] (2/3)UnPack file name:" + w + L"blocks.bin (2048)",
        L"[CUnPack::UnPackFiles] UnPack count:2 len:2048 File:" + w + L"blocks.bin",
        L"[CUnPack::UnPackFiles]  FreeSpace:1099511627776 FileSize:2500",
        L"[CUnPack::UnPackFiles] (3/3)UnPack file name:" + w + L"odd.bin (2500)",
        L"[CUnPack::UnPackFiles] UnPack count:3 len:2500 File:" + w + L"odd.bin",
        L"[CUnPack::UnPackFiles] UnPack total 3 files.",
    };
    EXPECT_EQ(tail, expected);
    // The space asked about is the temporary directory's, where the files go.
    ASSERT_FALSE(FreeSpaceFake::folders.empty());
    EXPECT_EQ(FreeSpaceFake::folders[0], temp);
}

TEST_F(UnpackTest, NoEntriesWhenTheFirstCountIsZeroOrNegative) {
    for (int32_t count : {0, -1, INT32_MIN}) {
        RawPackage raw(image);
        raw.Add("a.txt", "x");
        raw.KeepHeadersAsGiven();
        raw.Last().FileCount = count;
        EXPECT_EQ(Unpack(raw.Build()), 1) << count;
        EXPECT_TRUE(Logged(L"[CUnPack::UnPackFiles] UnPack total 0 files.")) << count;
        EXPECT_FALSE(FileExists(WorkFolder())) << count;
    }
}

TEST_F(UnpackTest, ALaterEntryOfTheSameNameReplacesTheEarlierOne) {
    EXPECT_EQ(Unpack(RawPackage(image).Add("same.txt", "first, longer").Add("same.txt", "second").Build()), 1);
    EXPECT_EQ(Content(L"same.txt"), "second");
}

TEST_F(UnpackTest, NamesThatCouldLeaveTheWorkFolderArePassedOver) {
    const char* const hostile[] = {"..\\escape.txt", "../escape.txt", "sub\\inner.txt", "C:\\escape.txt",
                                   "C:escape.txt",   "..",           ".",             "",
                                   "a.txt:stream",   "CON",          "nul.txt",       "COM1"};
    RawPackage raw(image);
    for (const char* name : hostile) raw.Add(name, "evil");
    raw.Add("good.txt", "fine");
    EXPECT_EQ(Unpack(raw.Build()), 1);

    EXPECT_EQ(Content(L"good.txt"), "fine");
    EXPECT_FALSE(FileExists(temp + L"escape.txt"));
    EXPECT_FALSE(FileExists(root / L"escape.txt"));
    EXPECT_FALSE(FileExists(WorkFolder() + L"sub"));
    EXPECT_FALSE(FileExists(WorkFolder() + L"a.txt"));
    const std::wstring total = L"[CUnPack::UnPackFiles] UnPack total " +
                               std::to_wstring(std::size(hostile) + 1) + L" files.";
    EXPECT_TRUE(Logged(total));
    int refused = 0;
    for (const std::wstring& m : Messages()) {
        if (m.find(L"[CUtility::FileException] ") == 0 && m.find(L" contains an incorrect path.") != std::wstring::npos) {
            ++refused;
        }
    }
    EXPECT_EQ(refused, static_cast<int>(std::size(hostile)));
}

TEST_F(UnpackTest, ANameFillingTheWholeFieldIsReadOnlyWithinIt) {
    RawPackage raw(image);
    raw.Add(std::string(260, 'N'), "no terminator");
    raw.Add("after.txt", "still here");
    EXPECT_EQ(Unpack(raw.Build()), 1);
    EXPECT_EQ(Content(L"after.txt"), "still here");
    EXPECT_TRUE(Logged(L"[CUtility::FileException] " + WorkFolder() + std::wstring(260, L'N') +
                       L" contains an incorrect path."));
}

TEST_F(UnpackTest, AHeaderCutShortEndsTheWalkNormally) {
    std::vector<uint8_t> file = RawPackage(image).Add("a.txt", "alpha").Build();
    // Point the trailer 100 bytes before it: the header read there delivers only 100 bytes.
    const uint64_t offset = file.size() - 100;
    memcpy(file.data() + file.size() - 284 + 8, &offset, 8);
    EXPECT_EQ(Unpack(file), 1);
    EXPECT_TRUE(Logged(L"[CUnPack::UnPackFiles] Entry header cut short:100"));
    EXPECT_TRUE(Logged(L"[CUnPack::UnPackFiles] UnPack total 0 files."));
}

TEST_F(UnpackTest, ContentCutShortGivesAShorterFileAndEndsQuickly) {
    FreeSpaceFake::figure = UINT64_MAX;
    for (uint64_t claimed : {uint64_t{1} << 20, uint64_t{1} << 40, uint64_t{1} << 63}) {
        RawPackage raw(image);
        raw.Add("a.txt", "alpha");
        raw.Add("big.bin", "tail");
        raw.Last().FileSize = claimed;
        const std::vector<uint8_t> file = raw.Build();
        const DWORD start = GetTickCount();
        EXPECT_EQ(Unpack(file), 1) << claimed;
        EXPECT_LT(GetTickCount() - start, 5000u) << claimed;
        EXPECT_EQ(Content(L"a.txt"), "alpha");
        // What follows the entry header to the end of the file: its content, filler, trailer.
        const std::string got = Content(L"big.bin");
        EXPECT_EQ(got.substr(0, 4), "tail");
        EXPECT_EQ(got.size(), file.size() - (image.size() + 2 * 284 + 5)) << claimed;
    }
}

TEST_F(UnpackTest, FreeSpaceExactlyEqualToTheSizePasses) {
    FreeSpaceFake::figure = 3;
    EXPECT_EQ(Unpack(RawPackage(image).Add("three.txt", "abc").Build()), 1);
    EXPECT_EQ(Content(L"three.txt"), "abc");
}

TEST_F(UnpackTest, ShortSpaceOnBothVolumesStopsTheExtraction) {
    FreeSpaceFake::figure = 3;
    EXPECT_EQ(Unpack(RawPackage(image).Add("three.txt", "abc").Add("four.txt", "abcd").Build()), 0);
    EXPECT_EQ(Content(L"three.txt"), "abc");
    EXPECT_FALSE(FileExists(WorkFolder() + L"four.txt"));
    const std::vector<std::wstring> messages = Messages();
    const std::vector<std::wstring> tail(messages.end() - 3, messages.end());
    const std::vector<std::wstring> expected = {
        L"[CUnPack::UnPackFiles]  FreeSpace:3 FileSize:4",
        L"[CUnPack::UnPackFiles]  FreeSpace:3 FileSize:4",
        L"[CUnPack::UnPackFiles] There is not enough disk space to install .",
    };
    EXPECT_EQ(tail, expected);
    ASSERT_EQ(FreeSpaceFake::folders.size(), 3u);
    EXPECT_NE(FreeSpaceFake::folders[2], temp);  // the programs folder's volume
}

TEST_F(UnpackTest, RunUnpacksOnAWorkerThreadAndWaitsForIt) {
    ASSERT_TRUE(WriteBytes(package, RawPackage(image).Add("w.txt", "worker").Build()));
    ScopedTempDirectory scoped(temp);
    CUnPack unpacker(package);
    const ScopedSeam<CUnPack::FreeSpaceQuery> fake(
        [&unpacker](CUnPack::FreeSpaceQuery q) { return unpacker.SetFreeSpaceQueryForTest(q); },
        FreeSpaceFake::Query);
    FreeSpaceFake::threadId = GetCurrentThreadId();
    EXPECT_EQ(unpacker.Run(), 0);
    EXPECT_TRUE(unpacker.IsUnPacked());
    EXPECT_NE(FreeSpaceFake::threadId, GetCurrentThreadId());
    EXPECT_EQ(Content(L"w.txt"), "worker");
}

// A file already in the work folder is written over only when it is an earlier entry's own
// file of the same name. Wine does not enforce the folder's access list, so a link and a
// hard link are planted right after the folder is made, as only such a platform allows.
TEST_F(UnpackTest, AnExistingLinkOrHardLinkInTheWorkFolderIsNotWrittenThrough) {
    const std::wstring victim = root / L"victim.txt";
    const std::wstring other = root / L"other.txt";
    ASSERT_TRUE(WriteText(victim, "precious"));
    ASSERT_TRUE(WriteText(other, "precious too"));
    ASSERT_TRUE(WriteBytes(package, RawPackage(image)
                                        .Add("hard.txt", "written through")
                                        .Add("soft.txt", "written through")
                                        .Add("own.txt", "first")
                                        .Add("OWN.txt", "second")
                                        .Build()));
    ScopedTempDirectory scoped(temp);
    CUnPack unpacker(package);
    const ScopedSeam<CUnPack::FreeSpaceQuery> fake(
        [&unpacker](CUnPack::FreeSpaceQuery q) { return unpacker.SetFreeSpaceQueryForTest(q); },
        FreeSpaceFake::Query);
    ASSERT_EQ(unpacker.GetWorkFolder(), WorkFolder());
    ASSERT_TRUE(CreateHardLinkW((WorkFolder() + L"hard.txt").c_str(), victim.c_str(), nullptr));
    ASSERT_TRUE(PlantUnixSymlink(other, WorkFolder() + L"soft.txt"));

    EXPECT_EQ(unpacker.UnPackFiles(), 1);
    EXPECT_EQ(Content(L"own.txt"), "second") << "a later entry of the same name replaces the earlier";
    RemoveUnixLink(WorkFolder() + L"soft.txt");
    EXPECT_EQ(ReadBytes(victim).size(), 8u);
    EXPECT_EQ(ReadBytes(other).size(), 12u);
    for (const wchar_t* name : {L"hard.txt", L"soft.txt"}) {
        EXPECT_TRUE(Logged(L"[CUtility::FileException] " + WorkFolder() + name + L" contains an incorrect path."))
            << Narrow(name);
    }
}

}  // namespace
