// What the verbs tell the user: the run.bat warning, names as UTF-8, reasons with every
// failure, a closed pipe, option mistakes, extract's lines and the JSON of create and
// extract, and --make-test-cert's refusal to replace a pair.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "json_document.h"
#include "package_fixture.h"
#include "run_sfxpack.h"
#include "signing.h"
#include "tools/sfxpack/package/package_reader.h"

namespace sfxtest {
namespace {

const char kRunBatWarning[] =
    "no entry is named run.bat: the launcher started without arguments will start nothing";

std::string Text(const std::string& path) {
    const std::vector<uint8_t> b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

class MessagesTest : public PackageTest {
protected:
    ToolResult Create(const std::vector<std::string>& files, const std::string& out = "out.exe",
                      const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"create", "--launcher", launcher, "--out", dir.Path(out)};
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), files.begin(), files.end());
        return RunSfxpack(dir, args);
    }
};

TEST_F(MessagesTest, CreateAndVerifyWarnWhenNoEntryIsRunBat) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        bool warned;
    };
    const Case cases[] = {
        {{{"run.bat", "@exit 0"}}, false},
        {{{"a/RUN.BAT", "@exit 0"}, {"b.txt", "b"}}, false},
        {{{"one.txt", "1"}}, true},
        {{{"run.bat.txt", "1"}, {"run.cmd", "2"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.front().first);
        fs::remove_all(dir.Path("in"));
        std::vector<std::string> inputs;
        for (const auto& f : c.files) inputs.push_back(AddInput(f.first, f.second));
        const ToolResult made = Create(inputs);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        EXPECT_EQ(made.err, c.warned ? std::string("sfxpack: warning: ") + kRunBatWarning + "\n" : "");
        const ToolResult verified = RunSfxpack(dir, {"verify", dir.Path("out.exe")});
        EXPECT_EQ(verified.exitCode, 0) << verified.err;
        EXPECT_EQ(verified.out.find(std::string("warning: ") + kRunBatWarning + "\n") != std::string::npos,
                  c.warned)
            << verified.out;
    }
    // No file at all is no package.
    const ToolResult empty = Create({});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_NE(empty.err.find("no FILE given"), std::string::npos) << empty.err;
    const ToolResult raw = RunSfxpack(dir, {"verify", WriteRawPackage({})});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_NE(raw.out.find(kRunBatWarning), std::string::npos) << raw.out;
}

TEST_F(MessagesTest, CreateAndExtractReportInJsonWhatTheyWrote) {
    if (!HaveCommand("python3")) GTEST_SKIP() << "needs python3 to parse JSON";
    const std::string one = AddInput("one.txt", "1");
    const std::string two = AddInput("sub/two.bin", "22");
    const ToolResult made = Create({one, two}, "out.exe", {"--json"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const JsonDocument created = ParseJson(dir, made.out);
    ASSERT_TRUE(created.parsed) << made.out;
    sfx::PackageReport report;
    std::string error;
    ASSERT_TRUE(sfx::InspectPackage(dir.Path("out.exe"), &report, &error)) << error;
    EXPECT_EQ(created["format"], "1");
    EXPECT_EQ(created["file"], JsonText(dir.Path("out.exe")));
    EXPECT_EQ(created["fileLength"], std::to_string(report.fileLength));
    EXPECT_EQ(created["packageOffset"], std::to_string(report.packageOffset));
    EXPECT_EQ(created["architecture"], JsonText("x86"));
    EXPECT_EQ(created["entries.#"], "2");
    const std::string sources[] = {one, two};
    for (size_t i = 0; i < 2; ++i) {
        const std::string at = "entries." + std::to_string(i) + ".";
        EXPECT_EQ(created[at + "entry"], std::to_string(i + 1));
        EXPECT_EQ(created[at + "name"], JsonText(report.entries[i].name));
        EXPECT_EQ(created[at + "size"], std::to_string(report.entries[i].size));
        EXPECT_EQ(created[at + "headerOffset"], std::to_string(report.entries[i].headerOffset));
        EXPECT_EQ(created[at + "offset"], std::to_string(report.entries[i].contentOffset));
        EXPECT_EQ(created[at + "source"], JsonText(sources[i]));
    }
    EXPECT_EQ(created["warnings.#"], "1");

    const std::string package = WriteRawPackage({{"run.bat", "r"}, {"a|b", "x"}, {"run.bat", "rr"}});
    const std::string to = dir.Path("to");
    const ToolResult r = RunSfxpack(dir, {"extract", package, "--to", to, "--json"});
    EXPECT_EQ(r.exitCode, 1);
    const JsonDocument doc = ParseJson(dir, r.out);
    ASSERT_TRUE(doc.parsed) << r.out;
    EXPECT_EQ(doc["format"], "1");
    EXPECT_EQ(doc["error"], "null");
    EXPECT_EQ(doc["entries.#"], "3");
    EXPECT_EQ(doc["entries.0.path"], JsonText(to + "/run.bat"));
    EXPECT_EQ(doc["entries.0.written"], "true");
    EXPECT_EQ(doc["entries.1.written"], "false");
    EXPECT_EQ(doc["entries.1.path"], "null");
    EXPECT_NE(doc["entries.1.problem"].find("which Windows does not allow"), std::string::npos);
    EXPECT_EQ(doc["entries.2.replaced"], "true");
    EXPECT_EQ(doc["extracted"], "2");
    EXPECT_EQ(doc["complete"], "false");
    EXPECT_EQ(doc["problems.0.entry"], "2");
}

TEST_F(MessagesTest, ExtractTellsEachFileOrWithQuietOnlyProblemsAndTheSummary) {
    const std::string package = WriteRawPackage({{"run.bat", "r"}, {"CON", "c"}, {"b.txt", "b"}});
    const ToolResult loud = RunSfxpack(dir, {"extract", package, "--to", dir.Path("loud")});
    EXPECT_EQ(loud.exitCode, 1);
    EXPECT_EQ(loud.out, "wrote run.bat\nwrote b.txt\nextracted 2 of 3 entries into " +
                            dir.Path("loud") + "\n");
    const ToolResult quiet = RunSfxpack(dir, {"extract", package, "--to", dir.Path("quiet"), "--quiet"});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.out, "extracted 2 of 3 entries into " + dir.Path("quiet") + "\n");
    EXPECT_EQ(quiet.err, loud.err);
    EXPECT_EQ(quiet.err.rfind("sfxpack: entry 2 at ", 0), 0u) << quiet.err;

    // A later entry of the name lands in the file first written, under its spelling.
    const ToolResult twice = RunSfxpack(
        dir, {"extract", WriteRawPackage({{"Read.Me", "1"}, {"READ.ME", "2"}}), "--to", dir.Path("twice")});
    EXPECT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(twice.out.rfind("wrote Read.Me\nreplaced Read.Me\n", 0), 0u) << twice.out;
}

// Valid UTF-8 is shown as it is; other bytes as \xNN; each failure says why.
TEST_F(MessagesTest, NamesAsUtf8AndAReasonWithEveryFailure) {
    const std::string utf8Folder = dir.Path("dossier-\xC3\xA9");
    const ToolResult missing = Create({utf8Folder + "/gone.txt"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("'" + utf8Folder + "/gone.txt' does not exist"), std::string::npos)
        << missing.err;
    const ToolResult latin1 = Create({dir.Path("caf\xE9/gone.txt")});
    EXPECT_NE(latin1.err.find("caf\\xE9/gone.txt"), std::string::npos) << latin1.err;

    // On Linux a backslash is part of the name, and Windows would read it as a folder.
    const std::string backslashed = AddInput("x\\y", "1");
    const ToolResult refused = Create({backslashed});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("its name 'x\\y' contains '\\', a folder separator"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(dir.Path("out.exe")));

    // sign makes its folder beside the output before running osslsigncode (a stand-in here).
    const std::string bin = dir.Path("bin");
    WriteText(bin + "/osslsigncode", "#!/bin/sh\nexit 1\n");
    fs::permissions(bin + "/osslsigncode", fs::perms::owner_all);
    const std::string pem = AddInput("any.pem", "pem");
    const std::string notFolder = AddInput("plain.txt", "a file, not a folder");
    ASSERT_EQ(Create({AddInput("run.bat", "")}).exitCode, 0);
    const ToolResult sign =
        RunSfxpack(dir, {"sign", "--cert", pem, "--key", pem, dir.Path("out.exe"), "--out",
                         notFolder + "/s.exe"},
                   "PATH=" + bin + ":$PATH ");
    EXPECT_EQ(sign.exitCode, 1);
    EXPECT_NE(sign.err.find("cannot make a temporary folder in '" + notFolder + "' beside '" +
                            notFolder + "/s.exe': Not a directory\n"),
              std::string::npos)
        << sign.err;

    if (geteuid() == 0) return;  // root writes into a read-only folder all the same
    fs::create_directories(dir.Path("ro"));
    fs::permissions(dir.Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    const ToolResult cert = RunSfxpack(dir, {"sign", "--make-test-cert", dir.Path("ro")});
    EXPECT_EQ(cert.exitCode, 1);
    EXPECT_NE(cert.err.find(": Permission denied\n"), std::string::npos) << cert.err;
    EXPECT_EQ(cert.err.find(".."), std::string::npos) << cert.err;  // no openssl progress
    fs::permissions(dir.Path("ro"), fs::perms::owner_all);
}

TEST_F(MessagesTest, AClosedPipeOnStandardOutputIsOneLineAndExitOne) {
    const std::string package = WriteRawPackage({{"run.bat", "r"}});
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);  // nobody will read: the first write fails
    const std::string errPath = dir.Path("pipe.stderr");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        execl(SFXPACK_EXE, SFXPACK_EXE, "list", package.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(Text(errPath), "sfxpack: cannot write to standard output: Broken pipe\n");
}

TEST_F(MessagesTest, OptionMistakesReadRight) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"create", "--out", "a.exe", "--out"}, "sfxpack: --out needs a value"},
        {{"create", "--out", "--launcher", "l.exe"}, "sfxpack: --out needs a value"},
        {{"create", "--out", "a.exe", "--out", "b.exe"}, "sfxpack: --out given twice"},
        {{"extract", "p.exe", "--to", "d", "--quiet", "--quiet"}, "sfxpack: --quiet given twice"},
        {{"sign", "--force", "--out", "o.exe", "--cert", "c", "--key", "k", "p.exe"},
         "sfxpack: --force goes only with --make-test-cert"},
    };
    for (const auto& c : cases) {
        const ToolResult r = RunSfxpack(dir, c.first);
        EXPECT_EQ(r.exitCode, 2) << c.second;
        EXPECT_EQ(r.err.rfind(c.second + " (see 'sfxpack ", 0), 0u) << r.err;
    }
}

class TestCertTest : public SigningTest {};

TEST_F(TestCertTest, MakeTestCertReplacesAPairOnlyWithForce) {
    const std::string keys = dir.Path("keys");
    const ToolResult first = RunSfxpack(dir, {"sign", "--make-test-cert", keys});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(first.err.empty()) << first.err;  // openssl's chatter only on failure
    const std::string key = Text(keys + "/key.pem");
    const std::string cert = Text(keys + "/cert.pem");
    for (int round = 0; round < 2; ++round) {
        const ToolResult again = RunSfxpack(dir, {"sign", "--make-test-cert", keys});
        EXPECT_EQ(again.exitCode, 1);
        EXPECT_NE(again.err.find("exists; give --force to replace it"), std::string::npos)
            << again.err;
        fs::remove(keys + "/cert.pem");  // one of the pair is enough to refuse
    }
    EXPECT_EQ(Text(keys + "/key.pem"), key);
    EXPECT_FALSE(fs::exists(keys + "/cert.pem"));
    const ToolResult forced = RunSfxpack(dir, {"sign", "--make-test-cert", keys, "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(Text(keys + "/key.pem"), key);
    EXPECT_NE(Text(keys + "/cert.pem"), cert);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"keys", "launcher.exe"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(keys), fs::directory_iterator()), 2);
}

// openssl's failure is told first, then what it said, without its progress lines.
TEST_F(MessagesTest, AFailedOpensslIsShownWithoutItsProgress) {
    const std::string bin = dir.Path("bin");
    WriteText(bin + "/openssl", "#!/bin/sh\nprintf '....+++++\\n..+\\nbad subject\\n' >&2\nexit 3\n");
    fs::permissions(bin + "/openssl", fs::perms::owner_all);
    const ToolResult r =
        RunSfxpack(dir, {"sign", "--make-test-cert", dir.Path("keys")}, "PATH=" + bin + ":$PATH ");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "sfxpack: openssl could not make a certificate in '" + dir.Path("keys") +
                         "' (exit code 3); it said:\n    bad subject\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("keys")), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace sfxtest
