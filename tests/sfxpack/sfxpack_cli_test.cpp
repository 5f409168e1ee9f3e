#include <gtest/gtest.h>

#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {
namespace {

// stderr, when the tool fails, is exactly one line starting with "sfxpack: ".
void ExpectOneErrorLine(const ToolResult& r) {
    EXPECT_EQ(r.err.rfind("sfxpack: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

class CliTest : public PackageTest {
protected:
    explicit CliTest(const ImageKind& imageKind = kPe32) : PackageTest(imageKind) {}
};

TEST_F(CliTest, CreateThenListShowsTheEntriesAndAnIntactLayout) {
    const std::string out = dir.Path("pkg.exe");
    const ToolResult made =
        RunSfxpack(dir, {"create", "--launcher", launcher, "--out=" + out,
                         AddInput("x/one.txt", "1"), "--", AddInput("-dash.txt", "22")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.err,
              "sfxpack: warning: no entry is named run.bat: the launcher started without "
              "arguments will start nothing\n");

    const ToolResult listed = RunSfxpack(dir, {"list", out});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_TRUE(listed.err.empty()) << listed.err;
    const std::string expected[] = {
        "architecture: x86\n",
        "package offset: 1536\n",
        "entry 1  size 1  header at 1536  content at 1820  name one.txt\n",
        "entry 2  size 2  header at 1821  content at 2105  name -dash.txt\n",
        "trailer at: " + std::to_string(ReadBytes(out).size() - 284) + "\n",
        "certificate table: none\n",
        "layout: intact\n",
    };
    for (const std::string& line : expected) {
        EXPECT_NE(listed.out.find(line), std::string::npos) << line << "\nin:\n" << listed.out;
    }
}

TEST_F(CliTest, BrokenPackageListsItsProblemsAndExitsWithOne) {
    const std::string out = Pack({AddInput("a.txt", "a")});
    std::vector<uint8_t> b = ReadBytes(out);
    b.push_back(0);
    WriteBytes(out, b);
    const ToolResult r = RunSfxpack(dir, {"list", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("layout: BROKEN\n  - "), std::string::npos) << r.out;
    ExpectOneErrorLine(r);
    EXPECT_NE(r.err.find("broken"), std::string::npos) << r.err;
}

TEST_F(CliTest, RefusalsAndUnreadableFilesExitWithOne) {
    const ToolResult missing = RunSfxpack(
        dir, {"create", "--launcher", launcher, "--out", dir.Path("o.exe"), dir.Path("nope")});
    EXPECT_EQ(missing.exitCode, 1);
    ExpectOneErrorLine(missing);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(dir.Path("o.exe")));

    const ToolResult notPe = RunSfxpack(dir, {"list", AddInput("text.txt", "hello")});
    EXPECT_EQ(notPe.exitCode, 1);
    ExpectOneErrorLine(notPe);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--bogus"},
        {"create", "--launcher", "l.exe", "f"},
        {"create", "--launcher"},
        {"create", "--launcher=", "--out", "x.exe"},
        {"create", "--launcher", "a", "--launcher", "b", "--out", "x.exe"},
        {"create", "--launcher", "l.exe", "--out", "x.exe", "--force"},
        {"create", "--arch", "arm64", "--out", "x.exe"},
        {"create", "--arch=X64", "--launcher", "l.exe", "--out", "x.exe"},
        {"create", "--out", "x.exe", "--arch"},
        {"create", "--arch", "x64", "--arch", "x86", "--out", "x.exe"},
        {"list"},
        {"list", "a.exe", "b.exe"},
        {"list", "-v", "a.exe"},
        {"verify"},
        {"verify", "a.exe", "b.exe"},
        {"verify", "a.exe", "--ca"},
        {"verify", "a.exe", "--ca", "x.pem", "--ca", "y.pem"},
        {"extract", "a.exe"},
        {"extract", "--to", "d"},
        {"extract", "a.exe", "--to", "d", "--to=e"},
        {"extract", "a.exe", "--into", "d"},
    };
    for (const auto& args : cases) {
        const ToolResult r = RunSfxpack(dir, args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(r.exitCode, 2) << shown;
        ExpectOneErrorLine(r);
        EXPECT_TRUE(r.out.empty()) << shown;
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"launcher.exe"}));
}

TEST_F(CliTest, AnArchitectureOtherThanX86OrX64IsNamedInTheUsageError) {
    const ToolResult r = RunSfxpack(dir, {"create", "--arch", "arm64", "--out", dir.Path("x.exe")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "sfxpack: --arch takes x86 or x64, not 'arm64' (see 'sfxpack create --help')\n");
}

// The package as each launcher build makes it: list and verify name the architecture.
class EachImageCliTest : public ForEachImageKind<CliTest> {};
INSTANTIATE_FOR_EACH_IMAGE_KIND(EachImageCliTest);

TEST_P(EachImageCliTest, ListAndVerifyNameTheArchitecture) {
    const std::string out = dir.Path("pkg.exe");
    ASSERT_EQ(RunSfxpack(dir, {"create", "--launcher", launcher, "--out", out, AddInput("a", "1")})
                  .exitCode,
              0);
    const std::string line = std::string("architecture: ") + kind.architecture + "\n";
    const ToolResult listed = RunSfxpack(dir, {"list", out});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out.find(line), listed.out.find('\n') + 1) << listed.out;  // second line
    const ToolResult verified = RunSfxpack(dir, {"verify", out});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.out.find(line), 0u) << verified.out;
}

TEST_F(CliTest, HelpGoesToStdoutAndExitsWithZero) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--help"}, "usage: sfxpack <command>"},
        {{"-h"}, "usage: sfxpack <command>"},
        {{"create", "--help"}, "usage: sfxpack create"},
        {{"create", "--launcher", "l.exe", "-h"}, "usage: sfxpack create"},
        {{"list", "--help"}, "usage: sfxpack list"},
        {{"verify", "--help"}, "usage: sfxpack verify"},
        {{"verify", "a.exe", "-h"}, "usage: sfxpack verify"},
        {{"extract", "--help"}, "usage: sfxpack extract"},
    };
    for (const auto& c : cases) {
        const ToolResult r = RunSfxpack(dir, c.first);
        EXPECT_EQ(r.exitCode, 0) << c.second;
        EXPECT_EQ(r.out.rfind(c.second, 0), 0u) << r.out;
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

}  // namespace
}  // namespace sfxtest
