// The real sfxpack signalled while it works: every verb removes its temporaries, ends the
// children it started, leaves an earlier output as it was, says in one line what it left
// undone and exits with 128 + the signal number. A run killed outright leaves at most its
// temporary, which the next run removes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

#include "package_fixture.h"
#include "run_sfxpack.h"
#include "signing.h"
#include "spawned_sfxpack.h"

namespace sfxtest {
namespace {

constexpr uint64_t kBusySize = uint64_t(4) << 30;  // a hole: read fast, written for seconds

std::string Text(const std::string& path) {
    const std::vector<uint8_t> b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

// The one line an interruption prints.
void ExpectInterruptionLine(const std::string& err, const char* signal, const std::string& says) {
    EXPECT_EQ(err.rfind(std::string("sfxpack: interrupted by ") + signal + "; ", 0), 0u) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

const char* SignalName(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
}

class InterruptionTest : public PackageTest {};

TEST_F(InterruptionTest, CreateAndExtractRemoveTheirTemporaryAndKeepWhatWasThere) {
    struct Case {
        const char* verb;
        int signal;
        int second;  // sent right behind the first, during the clean-up; 0 for none
        const char* says;
    };
    // A second signal of a higher number: were both pending at once, the lower would be
    // delivered first, so the expected code stays the first one's.
    const Case cases[] = {
        {"create", SIGINT, 0, "'out/pkg.exe' was not written; the file there is as it was"},
        {"create", SIGTERM, 0, "'out/pkg.exe' was not written"},
        {"create", SIGHUP, SIGTERM, "'out/pkg.exe' was not written"},
        {"extract", SIGINT, SIGTERM, "stopped after 1 of 2 entries"},
        {"extract", SIGTERM, 0, "stopped after 1 of 2 entries"},
        {"extract", SIGHUP, 0, "stopped after 1 of 2 entries"},
    };
    const std::string runBat = AddInput("run.bat", "@exit 0\r\n");
    const std::string big = dir.Path("in/big.bin");
    WriteText(big, "");
    fs::resize_file(big, kBusySize);
    const std::string package = dir.Path("busy.exe");
    WriteSparsePackage(package, launcherImage, kBusySize);
    const fs::path work = fs::current_path();
    fs::current_path(dir.Root());  // the messages then name short relative paths
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.verb) + " " + SignalName(c.signal));
        fs::remove_all("out");
        const bool create = std::string(c.verb) == "create";
        // What an earlier run left under the output's name.
        const std::string earlier = create ? "out/pkg.exe" : "out/big.bin";
        WriteText(earlier, "earlier output");
        const std::vector<std::string> args =
            create ? std::vector<std::string>{"create", "--launcher", launcher, "--out", "out/pkg.exe",
                                              runBat, big}
                   : std::vector<std::string>{"extract", package, "--to", "out"};
        SpawnedSfxpack run(dir, args);
        // extract writes run.bat first: it must stay.
        ASSERT_TRUE(WaitUntil([&] {
            return !run.Running() ||
                   (!Temporaries("out").empty() && (create || fs::exists("out/run.bat")));
        }));
        ASSERT_TRUE(run.Running()) << "ended before it could be interrupted: " << run.Err();
        run.Signal(c.signal);
        if (c.second != 0) run.Signal(c.second);
        EXPECT_EQ(run.Wait(), 128 + c.signal);
        ExpectInterruptionLine(run.Err(), SignalName(c.signal), c.says);
        EXPECT_EQ(Temporaries("out"), std::vector<std::string>());
        EXPECT_EQ(Text(earlier), "earlier output");
        if (!create) {
            EXPECT_EQ(Text("out/run.bat"), "@exit 0\r\n");
            EXPECT_NE(run.Out().find("wrote run.bat\n"), std::string::npos) << run.Out();
        }
    }
    fs::current_path(work);
}

// A stand-in for openssl that writes part of the key, starts a child of its own and waits:
// the whole group must go.
std::string WriteStandInOpenssl(const ScratchDir& dir) {
    const std::string bin = dir.Path("bin");
    const std::string script =
        "#!/bin/sh\n"
        "while [ $# -gt 0 ]; do [ \"$1\" = -keyout ] && key=$2; shift; done\n"
        "echo partial > \"$key\"\n"
        "echo $$ > " + dir.Path("openssl.pid") + "\n"
        "sleep 60 &\n"
        "echo $! > " + dir.Path("grandchild.pid") + ".part\n"
        "mv " + dir.Path("grandchild.pid") + ".part " + dir.Path("grandchild.pid") + "\n"
        "wait\n";
    WriteText(bin + "/openssl", script);
    fs::permissions(bin + "/openssl", fs::perms::owner_all);
    return bin;
}

pid_t PidIn(const std::string& path) {
    return static_cast<pid_t>(std::atol(Text(path).c_str()));
}

TEST_F(InterruptionTest, MakeTestCertEndsOpensslWithItsChildrenAndKeepsTheOldPair) {
    const std::string bin = WriteStandInOpenssl(dir);
    WriteText(dir.Path("keys/key.pem"), "old key");
    WriteText(dir.Path("keys/cert.pem"), "old cert");
    SpawnedSfxpack run(dir, {"sign", "--make-test-cert", dir.Path("keys"), "--force"}, bin);
    ASSERT_TRUE(WaitUntil([&] { return !run.Running() || fs::exists(dir.Path("grandchild.pid")); }));
    ASSERT_TRUE(run.Running()) << run.Err();
    const pid_t openssl = PidIn(dir.Path("openssl.pid"));
    const pid_t grandchild = PidIn(dir.Path("grandchild.pid"));
    ASSERT_TRUE(ProcessRuns(openssl));
    ASSERT_TRUE(ProcessRuns(grandchild));
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 130);
    ExpectInterruptionLine(run.Err(), "SIGINT", "no test certificate was made in");
    EXPECT_FALSE(ProcessRuns(openssl));
    EXPECT_TRUE(WaitUntil([&] { return !ProcessRuns(grandchild); }, std::chrono::seconds(5)));
    EXPECT_EQ(Text(dir.Path("keys/key.pem")), "old key");
    EXPECT_EQ(Text(dir.Path("keys/cert.pem")), "old cert");
    EXPECT_EQ(Temporaries(dir.Path("keys")), std::vector<std::string>());
}

class SigningInterruptionTest : public SigningTest {};

TEST_F(SigningInterruptionTest, SignEndsOsslsigncodeAndRemovesItsFolder) {
    const std::string package = dir.Path("busy.exe");
    WriteSparsePackage(package, launcherImage, uint64_t(1) << 30);
    const std::string out = dir.Path("signed.exe");
    WriteText(out, "earlier output");
    SpawnedSfxpack run(dir, {"sign", "--cert", Cert(), "--key", Key(), package, "--out", out});
    std::vector<pid_t> children;
    ASSERT_TRUE(WaitUntil([&] {
        children = ChildrenOf(run.Pid());
        return !run.Running() || !children.empty();
    }));
    ASSERT_TRUE(run.Running()) << run.Err();
    EXPECT_EQ(Temporaries(dir.Path("")).size(), 1u);  // the signing folder
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(), 143);
    ExpectInterruptionLine(run.Err(), "SIGTERM", "was not written; the file there is as it was");
    for (const pid_t child : children) EXPECT_FALSE(ProcessRuns(child)) << child;
    EXPECT_EQ(Temporaries(dir.Path("")), std::vector<std::string>());
    EXPECT_EQ(Text(out), "earlier output");
}

// SIGKILL cannot be handled: the temporary stays, and the next create beside the same
// output removes it, but never one whose process still runs.
TEST_F(InterruptionTest, TheNextRunRemovesTheTemporaryOfAKilledOne) {
    const std::string big = dir.Path("in/big.bin");
    WriteText(big, "");
    fs::resize_file(big, kBusySize);
    const std::string out = dir.Path("out/pkg.exe");
    fs::create_directories(dir.Path("out"));
    // This test program runs, so its temporary is no leftover.
    const std::string alive = ".sfxpack-" + std::to_string(getpid()) + ".tmp";
    WriteText(dir.Path("out/" + alive), "");
    {
        SpawnedSfxpack run(dir, {"create", "--launcher", launcher, "--out", out, big});
        ASSERT_TRUE(WaitUntil([&] { return !run.Running() || Temporaries(dir.Path("out")).size() == 2; }));
        ASSERT_TRUE(run.Running()) << run.Err();
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait(), -1);
    }
    ASSERT_EQ(Temporaries(dir.Path("out")).size(), 2u);
    const ToolResult next =
        RunSfxpack(dir, {"create", "--launcher", launcher, "--out", out, AddInput("run.bat", "")});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_NE(next.err.find("left by an earlier run that was killed"), std::string::npos) << next.err;
    EXPECT_EQ(Temporaries(dir.Path("out")), std::vector<std::string>{alive});
}

}  // namespace
}  // namespace sfxtest
