#include "tools/sfxpack/package/package_extractor.h"
#include "tools/sfxpack/base/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {
namespace {

class ExtractTest : public PackageTest {
protected:
    // Every file below the scratch directory, relative to it, sorted.
    std::vector<std::string> AllFiles() const {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir.Root())) {
            if (!e.is_directory()) files.push_back(fs::relative(e.path(), dir.Root()).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string Text(const std::string& path) {
        const std::vector<uint8_t> b = ReadBytes(path);
        return std::string(b.begin(), b.end());
    }
};

TEST_F(ExtractTest, RoundTripGivesBackEveryFileIntoANewNestedFolder) {
    std::string big(3 * 1024 * 1024 + 5, '\0');  // crosses the copy chunk boundary
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 11));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.bin", ""}, {"run.bat", "@echo off\r\n"}, {"big.dat", big}};
    std::vector<std::string> inputs;
    for (const auto& f : files) inputs.push_back(AddInput(f.first, f.second));
    const std::string package = Pack(inputs);

    const std::string to = dir.Path("out/nested");
    const ToolResult r = RunSfxpack(dir, {"extract", package, "--to", to});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_NE(r.out.find("extracted 3 of 3 entries"), std::string::npos) << r.out;
    for (const auto& f : files) EXPECT_TRUE(Text(to + "/" + f.first) == f.second) << f.first;
    EXPECT_EQ(std::distance(fs::directory_iterator(to), fs::directory_iterator()), 3);
}

// Names the launcher refuses, names Windows cannot create, and names Linux would read as
// a path: each is skipped and reported, the safe entries around them are written, and
// nothing appears outside the target folder.
TEST_F(ExtractTest, HostileNamesAreRefusedAndNothingIsWrittenOutsideTheFolder) {
    const std::vector<std::string> hostile = {
        "", "../up.txt", "..\\up.txt", "/tmp/sfxpack-absolute.txt", "sub/inner.txt", "..", "...",
        " ", "c:evil.txt", "file.txt:stream", "CON", "nul.txt", "COM3.log", "a|b", "a<b",
        "what?", "star*", "quote\"d", std::string("ctl\x01.txt"), std::string("caf\xE9.txt"),
        "trailing.", "trailing ",
    };
    RawEntries entries = {{"first.txt", "1"}};
    for (const std::string& name : hostile) entries.push_back({name, "hostile"});
    entries.push_back({"last.txt", "2"});
    const std::string package = WriteRawPackage(entries);
    const std::string to = dir.Path("to");

    sfx::ExtractOutcome outcome;
    std::string error;
    ASSERT_TRUE(sfx::ExtractPackage(package, to, &outcome, &error)) << error;
    EXPECT_EQ(outcome.written, (std::vector<std::string>{"first.txt", "last.txt"}));
    ASSERT_EQ(outcome.refused.size(), hostile.size());
    for (size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_EQ(outcome.refused[i].rfind("entry " + std::to_string(i + 2) + " at ", 0), 0u)
            << outcome.refused[i];
    }
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{"launcher.exe", "raw.exe", "to/first.txt",
                                                    "to/last.txt"}));
    EXPECT_FALSE(fs::exists("/tmp/sfxpack-absolute.txt"));

    fs::remove_all(to);
    const ToolResult r = RunSfxpack(dir, {"extract", package, "--to", to});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), static_cast<long>(hostile.size()));
    EXPECT_NE(r.err.find("'ctl\\x01.txt'"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("extracted 2 of 24 entries"), std::string::npos) << r.out;
}

TEST_F(ExtractTest, LaterEntryOfTheSameNameReplacesTheFileAsOnWindows) {
    struct Case {
        RawEntries entries;
        std::vector<std::pair<std::string, std::string>> files;  // left in the folder
    };
    const Case cases[] = {
        {{{"a.txt", "first"}, {"b.txt", "b"}, {"a.txt", "second"}},
         {{"a.txt", "second"}, {"b.txt", "b"}}},
        {{{"Read.Me", "1"}, {"READ.ME", "22"}, {"read.me", "333"}}, {{"Read.Me", "333"}}},
    };
    for (const Case& c : cases) {
        const std::string to = dir.Path("dup");
        fs::remove_all(to);
        sfx::ExtractOutcome outcome;
        std::string error;
        ASSERT_TRUE(sfx::ExtractPackage(WriteRawPackage(c.entries), to, &outcome, &error)) << error;
        EXPECT_TRUE(outcome.refused.empty());
        EXPECT_EQ(outcome.written.size(), c.entries.size());
        std::vector<std::pair<std::string, std::string>> found;
        for (const auto& e : fs::directory_iterator(to)) {
            found.emplace_back(e.path().filename().string(), Text(e.path().string()));
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.files) << c.entries.front().first;
    }
}

TEST_F(ExtractTest, BrokenLayoutExtractsNothing) {
    const std::vector<uint8_t> good = ReadBytes(Pack({AddInput("a.txt", "aaaa")}));
    const size_t p = launcherImage.size();
    struct Case {
        const char* what;
        size_t at;  // byte to change; past the end appends one
        uint8_t value;
    };
    const Case cases[] = {
        {"data appended", good.size(), 0},
        {"entry size beyond the trailer", p + 12, 1},
        {"FileIndex", p + 4, 9},
        {"filler byte", p + sfx::kEntryHeaderSize + 4, 0},
        {"bytes after the name", p + 24 + 100, 'x'},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = good;
        if (c.at < b.size()) {
            b[c.at] = c.value;
        } else {
            b.push_back(c.value);
        }
        const std::string path = dir.Path("broken.exe");
        WriteBytes(path, b);
        const std::string to = dir.Path("never");
        sfx::ExtractOutcome outcome;
        std::string error;
        EXPECT_FALSE(sfx::ExtractPackage(path, to, &outcome, &error)) << c.what;
        EXPECT_NE(error.find("nothing was extracted"), std::string::npos)
            << c.what << ": " << error;
        EXPECT_FALSE(outcome.layout.problems.empty()) << c.what;
        EXPECT_FALSE(fs::exists(to)) << c.what;
    }
    const ToolResult r =
        RunSfxpack(dir, {"extract", dir.Path("broken.exe"), "--to", dir.Path("never")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("layout: BROKEN\n  - "), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir.Path("never")));
}

#ifndef _WIN32
// A link planted under the target's name, or under the name of the temporary file
// beside it, must be replaced or passed over, never written through.
TEST_F(ExtractTest, PlantedLinksInTheFolderAreNotFollowed) {
    const std::string package = WriteRawPackage({{"ok.txt", "package content"}});
    const std::string to = dir.Path("to");
    fs::create_directories(to);
    const std::string outside = dir.Path("outside.txt");
    WriteText(outside, "untouched");
    fs::create_symlink(outside, to + "/ok.txt");
    fs::create_symlink(outside, sfx::TemporaryPathBeside(to + "/ok.txt", 0));

    sfx::ExtractOutcome outcome;
    std::string error;
    ASSERT_TRUE(sfx::ExtractPackage(package, to, &outcome, &error)) << error;
    EXPECT_EQ(Text(outside), "untouched");
    EXPECT_FALSE(fs::is_symlink(to + "/ok.txt"));
    EXPECT_EQ(Text(to + "/ok.txt"), "package content");
}
#endif

}  // namespace
}  // namespace sfxtest
