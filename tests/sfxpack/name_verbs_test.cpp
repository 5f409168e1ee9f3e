// Each verb and the names the launcher refuses or that have the shape of another entry's
// short 8.3 alias; names as long as create takes; a file that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "format/package_format.h"
#include "json_document.h"
#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {
namespace {

class NameVerbsTest : public PackageTest {
protected:
    std::string Text(const std::string& path) {
        const std::vector<uint8_t> b = ReadBytes(path);
        return std::string(b.begin(), b.end());
    }
};

TEST_F(NameVerbsTest, ListAndVerifyReportNamesTheLauncherRefusesOrThatAliasAnother) {
    const std::string alias = "the shape of the short name Windows may give";
    const std::pair<RawEntries, std::string> cases[] = {
        {{{"run.bat", "a"}, {"run.bat.", "b"}}, "entry 2 ('run.bat.' at"},
        {{{"run.bat", "a"}, {"run.bat . .", "b"}}, "entry 2 ('run.bat . .' at"},
        {{{"COM\xB9", "a"}}, "entry 1 ('COM\\xB9' at"},
        {{{"lpt\xB3.txt", "a"}}, "entry 1 ('lpt\\xB3.txt' at"},
        {{{"installer-database.msi", "a"}, {"INSTAL~1.MSI", "b"}}, alias + " entry 1"},
        {{{"INSTAL~1.MSI", "b"}, {"installer-database.msi", "a"}}, alias + " entry 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const std::string package = WriteRawPackage(c.first);
        const ToolResult listed = RunSfxpack(dir, {"list", package});
        EXPECT_EQ(listed.exitCode, 1);
        EXPECT_NE(listed.out.find("layout: BROKEN\n  - "), std::string::npos) << listed.out;
        EXPECT_NE(listed.out.find(c.second), std::string::npos) << listed.out;
        const ToolResult verified = RunSfxpack(dir, {"verify", package});
        EXPECT_EQ(verified.exitCode, 1);
        EXPECT_NE(verified.out.find(c.second), std::string::npos) << verified.out;
        EXPECT_NE(verified.err.find("failed verification (layout)"), std::string::npos)
            << verified.err;
    }
}

// One rule for every verb and the launcher: list and verify pass a name exactly when extract
// writes it, and every name they pass the launcher accepts too.
TEST_F(NameVerbsTest, EveryVerbJudgesANameAlike) {
    using Fault = sfx::EntryNameFault;
    const std::pair<std::string, Fault> cases[] = {
        {"setup.exe", Fault::kNone},
        {std::string(255, 'n'), Fault::kNone},
        {"a b-c_d(1)~!@#$%^&'.dat", Fault::kNone},
        {"a\x01b", Fault::kControl},
        {"tab\t.txt", Fault::kControl},
        {"caf\xE9.txt", Fault::kNotAscii},
        {"caf\xC3\xA9.txt", Fault::kNotAscii},
        {"del\x7F", Fault::kNotAscii},
        {std::string(256, 'n'), Fault::kTooLong},
        {std::string(259, 'n'), Fault::kTooLong},
        {"a|b", Fault::kForbidden},
        {"q\"uote", Fault::kForbidden},
        {"x\\y", Fault::kForbidden},
        {"..", Fault::kFolder},
        {"name.", Fault::kTrailingDotOrBlank},
        {"name ", Fault::kTrailingDotOrBlank},
        {"COM1.txt", Fault::kDevice},
        {"CON", Fault::kDevice},
    };
    for (const auto& c : cases) {
        const std::string& name = c.first;
        SCOPED_TRACE(name.size() > 40 ? std::to_string(name.size()) + " bytes" : name);
        EXPECT_EQ(sfx::JudgeEntryName(name.data(), name.size()), c.second);
        const bool good = c.second == Fault::kNone;
        if (good) {
            EXPECT_TRUE(sfx::IsSafeEntryName(name.data(), name.size()));
        }

        const std::string package = WriteRawPackage({{"run.bat", "r"}, {name, "content"}});
        const ToolResult listed = RunSfxpack(dir, {"list", package});
        EXPECT_EQ(listed.exitCode, good ? 0 : 1) << listed.out;
        const ToolResult verified = RunSfxpack(dir, {"verify", package});
        EXPECT_EQ(verified.exitCode, good ? 0 : 1) << verified.out;
        if (!good) {
            EXPECT_NE(verified.out.find("  - entry 2 ("), std::string::npos) << verified.out;
            EXPECT_NE(verified.out.find(") cannot be extracted: its name"), std::string::npos)
                << verified.out;
        }
        const std::string to = dir.Path("to");
        fs::remove_all(to);
        const ToolResult extracted = RunSfxpack(dir, {"extract", package, "--to", to});
        EXPECT_EQ(extracted.exitCode, good ? 0 : 1) << extracted.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(to), fs::directory_iterator()), good ? 2 : 1);
        if (!good) {
            EXPECT_EQ(extracted.err.rfind("sfxpack: entry 2 at ", 0), 0u) << extracted.err;
        }
    }
}

// Whatever bytes a name holds, one JudgeEntryName passes the launcher's check passes too.
TEST(NameRule, TheLaunchersCheckPassesEveryNameTheRulePasses) {
    std::mt19937 random(11);
    const std::string alphabet = std::string("aZ0.~ :/\\|<>\"?*\x01\x7F\xB9\xE9") + '\0';
    int passed = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string name;
        const size_t length = random() % 8;
        for (size_t i = 0; i < length; ++i) name += alphabet[random() % alphabet.size()];
        if (round % 7 == 0) name = (round % 2 ? "com1" : "AUX") + name;
        if (sfx::JudgeEntryName(name.data(), name.size()) != sfx::EntryNameFault::kNone) continue;
        ++passed;
        EXPECT_TRUE(sfx::IsSafeEntryName(name.data(), name.size())) << name;
    }
    EXPECT_GT(passed, 500);  // the rule did pass names, so the check means something
}

TEST_F(NameVerbsTest, ProblemsInJsonNameTheirEntryAsListNumbersIt) {
    if (!HaveCommand("python3")) GTEST_SKIP() << "needs python3 to parse JSON";
    const std::string package =
        WriteRawPackage({{"run.bat", "r"}, {"fine.txt", "f"}, {"a\x01b", "c"}});
    const ToolResult r = RunSfxpack(dir, {"verify", "--json", package});
    EXPECT_EQ(r.exitCode, 1);
    const JsonDocument doc = ParseJson(dir, r.out);
    ASSERT_TRUE(doc.parsed);
    EXPECT_EQ(doc["problems.#"], "1");
    EXPECT_EQ(doc["problems.0.entry"], "3");
    EXPECT_EQ(doc["problems.0.offset"],
              std::to_string(std::stoull(doc["entries.2.headerOffset"]) + 24));
    EXPECT_EQ(doc["entries.2.entry"], "3");
    const ToolResult listed = RunSfxpack(dir, {"list", package});
    EXPECT_NE(listed.out.find("  entry 3  size 1  header at " + doc["entries.2.headerOffset"]),
              std::string::npos)
        << listed.out;
}

TEST_F(NameVerbsTest, CreateRefusesAnInputNamedLikeAnotherOnesShortAlias) {
    const std::string longName = AddInput("installer-database.msi", "long");
    const std::string shortName = AddInput("s/INSTAL~1.MSI", "short");
    const std::string plain = AddInput("INSTALL.MSI", "plain");  // needs no alias
    const std::vector<std::vector<std::string>> refused = {{longName, shortName},
                                                           {shortName, plain, longName}};
    for (const auto& inputs : refused) {
        std::vector<std::string> args = {"create", "--launcher", launcher, "--out",
                                         dir.Path("out.exe")};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const ToolResult r = RunSfxpack(dir, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("'INSTAL~1.MSI' has the shape of the short name Windows may give "
                             "'installer-database.msi'"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(dir.Path("out.exe")));
    }
    const ToolResult r = RunSfxpack(
        dir, {"create", "--launcher", launcher, "--out", dir.Path("out.exe"), shortName, plain});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// The launcher refuses a file that already exists under another long name; extract skips
// the same entries, so both leave the same files.
TEST_F(NameVerbsTest, ExtractSkipsAnEntryNamedLikeTheShortAliasOfAnEarlierOne) {
    struct Case {
        RawEntries entries;
        std::vector<std::string> written;
        int exitCode;
    };
    const Case cases[] = {
        {{{"installer-database.msi", "long"}, {"INSTAL~1.MSI", "short"}, {"run.bat", "r"}},
         {"installer-database.msi", "run.bat"},
         1},
        {{{"INSTAL~1.MSI", "short"}, {"installer-database.msi", "long"}},
         {"INSTAL~1.MSI", "installer-database.msi"},
         0},
        {{{"Program Files", "p"}, {"README.TXT", "r"}, {"PR~1", "x"}, {"pr~1", "y"}},
         {"Program Files", "README.TXT"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries.front().first);
        const std::string to = dir.Path("to");
        fs::remove_all(to);
        const ToolResult r = RunSfxpack(dir, {"extract", WriteRawPackage(c.entries), "--to", to});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(to)) found.push_back(e.path().filename().string());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.written);
        EXPECT_EQ(Text(to + "/" + c.entries.front().first), c.entries.front().second);
        const size_t skipped = c.entries.size() - c.written.size();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), static_cast<long>(skipped)) << r.err;
        if (skipped > 0) {
            EXPECT_NE(r.err.find("has the shape of the short name Windows may give"),
                      std::string::npos)
                << r.err;
        }
    }
}

// Names up to the longest create accepts come back, and the temporary names beside them
// stay short enough for any folder that holds them.
TEST_F(NameVerbsTest, LongestNamesRoundTrip) {
    const std::string names[] = {std::string(245, 'L') + ".txt", std::string(251, 'M') + ".dat",
                                 "run.bat"};
    std::vector<std::string> inputs;
    for (const std::string& n : names) inputs.push_back(AddInput(n, "content of " + n.substr(0, 3)));
    const std::string package = dir.Path("long.exe");
    std::vector<std::string> args = {"create", "--launcher", launcher, "--out", package};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const ToolResult made = RunSfxpack(dir, args);
    ASSERT_EQ(made.exitCode, 0) << made.err;

    const std::string to = dir.Path("to");
    const ToolResult r = RunSfxpack(dir, {"extract", package, "--to", to});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("extracted 3 of 3 entries"), std::string::npos) << r.out;
    for (const std::string& n : names) EXPECT_EQ(Text(to + "/" + n), "content of " + n.substr(0, 3));
    EXPECT_EQ(std::distance(fs::directory_iterator(to), fs::directory_iterator()), 3);
}

TEST_F(NameVerbsTest, AFileThatCannotBeWrittenStopsNoOther) {
    const std::string package = WriteRawPackage({{"a.txt", "a"}, {"blocked.txt", "b"}, {"c.txt", "c"}});
    const std::string to = dir.Path("to");
    fs::create_directories(to + "/blocked.txt/inside");  // a folder no file can replace
    const ToolResult r = RunSfxpack(dir, {"extract", package, "--to", to});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("sfxpack: entry 2 at ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("blocked.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("extracted 2 of 3 entries"), std::string::npos) << r.out;
    EXPECT_EQ(Text(to + "/a.txt"), "a");
    EXPECT_EQ(Text(to + "/c.txt"), "c");
    EXPECT_TRUE(fs::is_directory(to + "/blocked.txt/inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(to), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace sfxtest
