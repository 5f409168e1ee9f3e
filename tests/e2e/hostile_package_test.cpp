// Damaged and hostile packages, made here byte by byte, each run through the real launcher
// with a time bound: it must end, exit 0, write nothing outside its work folder and say in
// its log what it found.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "common/raw_package.h"
#include "support/launcher_fixture.h"

namespace {

using sfxtest::PatchU32;
using sfxtest::PeOffset;
using sfxtest::SecurityDirSizeOffset;
using sfxtest::RawPackage;

// Every file and folder below root, as relative paths.
void Collect(const std::wstring& root, const std::wstring& relative, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        out.insert(relative + name);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Collect(root, relative + name + L"\\", out);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

struct HostileCase {
    std::string what;
    std::vector<uint8_t> file;
};

class HostilePackageTest : public LauncherFixture {
protected:
    std::vector<uint8_t> image = ReadBytes(LauncherPath());

    // What the launcher may leave in its temporary folder besides the work folder.
    static bool Allowed(const std::wstring& path) {
        return path == L"tmp\\unpack.log" || path == L"tmp\\unpack.log.txt" || path == L"tmp\\unpack" ||
               path.rfind(L"tmp\\unpack\\", 0) == 0;
    }

    void RunCase(const HostileCase& c) {
        SCOPED_TRACE(c.what);
        RemoveTree(temp);
        CreateDirectoryW(temp.c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(package, c.file));
        std::set<std::wstring> before;
        Collect(root.Path(), L"", before);

        const RunResult run = Run(L"", {}, 30000);
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished) << "did not end within 30 s";
        EXPECT_EQ(run.exitCode, 0u);

        std::set<std::wstring> after;
        Collect(root.Path(), L"", after);
        for (const std::wstring& path : after) {
            if (before.count(path) == 0) {
                EXPECT_TRUE(Allowed(path)) << "written outside the work folder: " << Narrow(path);
            }
        }
        for (const wchar_t* outside : {L"C:\\sfx-evil.txt", L"C:\\users\\sfx-evil.txt"}) {
            EXPECT_FALSE(FileExists(outside)) << Narrow(outside);
        }
        const std::vector<std::wstring> m = Messages();
        EXPECT_NE(std::find(m.begin(), m.end(), L"[CUnPack::FindHeader] Name:" + package), m.end())
            << "the log does not say what the launcher read";
    }

    std::vector<uint8_t> Good() {
        return RawPackage(image).Add("run.bat", "@echo off\r\n").Add("data.bin", std::string(3000, 'd')).Build();
    }
};

TEST_F(HostilePackageTest, CutAtEveryRegionBoundaryAndInsideEachHeader) {
    const std::vector<uint8_t> good = Good();
    const size_t p = image.size();
    const size_t second = p + 284 + 11;  // "@echo off\r\n" is 11 bytes
    const size_t entriesEnd = second + 284 + 3000;
    const size_t trailer = good.size() - 284;
    const std::vector<std::pair<const char*, size_t>> cuts = {
        {"at the package offset", p},          {"inside the first header", p + 100},
        {"after the first header", p + 284},   {"inside the first content", p + 290},
        {"at the second header", second},      {"inside the second header", second + 30},
        {"inside the second content", second + 284 + 1500}, {"at the end of the entries", entriesEnd},
        {"at the trailer", trailer},           {"inside the trailer", trailer + 100},
    };
    for (const auto& [what, length] : cuts) {
        RunCase({std::string("cut ") + what, std::vector<uint8_t>(good.begin(), good.begin() + length)});
    }
}

TEST_F(HostilePackageTest, CountsAndSizesThatLie) {
    // The first entry's header is damaged; run.bat comes last and whole, so that what runs
    // afterwards is a batch file and not the bytes a lying size swept into it (Wine's cmd
    // can spin for ever on those, and the launcher rightly waits for its installation).
    auto withFirst = [&](std::function<void(sfx::EntryHeader&)> damage) {
        RawPackage raw(image);
        raw.Add("data.bin", std::string(3000, 'd')).Add("run.bat", "@echo off\r\n");
        std::vector<uint8_t> file = raw.Build();
        sfx::EntryHeader header;
        memcpy(&header, file.data() + image.size(), sizeof(header));
        damage(header);
        memcpy(file.data() + image.size(), &header, sizeof(header));
        return file;
    };
    RunCase({"FileCount 0", withFirst([](sfx::EntryHeader& h) { h.FileCount = 0; })});
    RunCase({"FileCount negative", withFirst([](sfx::EntryHeader& h) { h.FileCount = -5; })});
    RunCase({"FileCount huge", withFirst([](sfx::EntryHeader& h) { h.FileCount = INT32_MAX; })});
    RunCase({"FileSize 2^40", withFirst([](sfx::EntryHeader& h) { h.FileSize = uint64_t{1} << 40; })});
    RunCase({"FileSize 2^63", withFirst([](sfx::EntryHeader& h) { h.FileSize = uint64_t{1} << 63; })});
    RunCase({"FileSize beyond what remains", withFirst([](sfx::EntryHeader& h) { h.FileSize = 100000; })});
}

TEST_F(HostilePackageTest, NamesThatReachOut) {
    const std::vector<std::string> names = {std::string(260, 'A'), "..\\sfx-evil.txt", "../sfx-evil.txt",
                                            "C:\\sfx-evil.txt", "\\users\\sfx-evil.txt", "C:sfx-evil.txt",
                                            "x.txt:hidden", "CON", "nul.txt", "..", ""};
    for (const std::string& name : names) {
        RunCase({"name '" + name.substr(0, 40) + "'",
                 RawPackage(image).Add(name, "evil").Add("run.bat", "@echo off\r\n").Build()});
    }
}

TEST_F(HostilePackageTest, HeadersThatPointElsewhere) {
    const std::vector<uint8_t> good = Good();
    auto patched = [&](size_t offset, uint64_t value, size_t width) {
        std::vector<uint8_t> file = good;
        memcpy(file.data() + offset, &value, width);
        return file;
    };
    const size_t pe = PeOffset(good);
    const size_t trailerSize = good.size() - 284 + 8;
    RunCase({"certificate table size negative", patched(pe + SecurityDirSizeOffset(good), 0x80000000u, 4)});
    RunCase({"certificate table larger than the file", patched(pe + SecurityDirSizeOffset(good), 0x7FFFFFF0u, 4)});
    RunCase({"trailer offset beyond the file", patched(trailerSize, good.size() + 4096, 8)});
    RunCase({"trailer offset 2^63", patched(trailerSize, uint64_t{1} << 63, 8)});
    RunCase({"trailer offset into the image headers", patched(trailerSize, 64, 8)});
    RunCase({"trailer offset into the middle of the image", patched(trailerSize, image.size() / 2, 8)});
}

// The PE headers themselves: the platform's loader refuses such a file before any of the
// launcher runs, which is the safe outcome; the launcher's own handling of these is
// covered in-process by the unit tests.
TEST_F(HostilePackageTest, ImagesTheLoaderRefuses) {
    for (const uint32_t lfanew : {0xFFFFFF00u, 0x7FFFFFF0u}) {
        std::vector<uint8_t> file = Good();
        PatchU32(file, sfx::kLfanewOffset, lfanew);
        ASSERT_TRUE(WriteBytes(package, file));
        const RunResult run = Run(L"", {}, 30000);
        EXPECT_TRUE(!run.started || (run.finished && !FileExists(temp + L"unpack"))) << std::hex << lfanew;
    }
}

}  // namespace
