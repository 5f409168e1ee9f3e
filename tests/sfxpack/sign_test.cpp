// sfxpack sign end to end with a throw-away certificate, and every way it refuses.
// Trust is always given explicitly, and nothing is timestamped (that needs the network).
#include <gtest/gtest.h>

#include "signing.h"

namespace sfxtest {
namespace {

class SignTest : public SigningTest {
protected:
    void SetUp() override {
        SigningTest::SetUp();
        if (IsSkipped()) return;
        package = Pack({AddInput("run.bat", "@echo off\r\n"), AddInput("data.bin", "0123")});
        output = dir.Path("signed.exe");
    }
    std::string package, output;
};

TEST_F(SignTest, SignsVerifiesAndOnlyThenWritesTheOutput) {
    const ToolResult r =
        RunSfxpack(dir, {"sign", "--cert", Cert(), "--key", Key(), package, "--out", output});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("signature: verified by osslsigncode\nsigned " + output + "\n"),
              std::string::npos)
        << r.out;

    const ToolResult verified = RunSfxpack(dir, {"verify", output, "--ca", Cert()});
    EXPECT_EQ(verified.exitCode, 0) << verified.out;
    // The packed files are where they were: signing only adds the table behind the trailer.
    const std::vector<uint8_t> before = ReadBytes(package), after = ReadBytes(output);
    ASSERT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin() + launcherImage.size(), before.end(),
                           after.begin() + launcherImage.size()));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"in", "launcher.exe", "out.exe", "signed.exe"}));
}

TEST_F(SignTest, AFailedSigningLeavesTheOutputAsItWas) {
    const std::string otherKeys = dir.Path("other");
    ASSERT_EQ(RunSfxpack(dir, {"sign", "--make-test-cert", otherKeys}).exitCode, 0);
    std::vector<uint8_t> b = ReadBytes(package);
    b.push_back(0);
    const std::string broken = dir.Path("broken.exe");
    WriteBytes(broken, b);
    const std::string emptyBin = dir.Path("empty-bin");
    fs::create_directories(emptyBin);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string shellPrefix;
        const char* error;
    };
    const std::string key = Key(), cert = Cert();
    const Case cases[] = {
        {"broken input", {"--cert", cert, "--key", key, broken}, "", "is not an intact package"},
        {"key of another certificate", {"--cert", cert, "--key", otherKeys + "/key.pem", package},
         "", "osslsigncode could not sign"},
        {"signature not trusted", {"--cert", cert, "--key", key, "--ca", otherKeys + "/cert.pem", package},
         "", "did not pass verification"},
        {"no osslsigncode", {"--cert", cert, "--key", key, package}, "PATH=" + emptyBin + "; ",
         "osslsigncode was not found on PATH"},
        {"certificate missing", {"--cert", dir.Path("none.pem"), "--key", key, package}, "",
         "is not a readable file"},
    };
    WriteText(output, "previous");
    const std::vector<std::string> listing = dir.List();
    for (const Case& c : cases) {
        std::vector<std::string> args = {"sign", "--out", output};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolResult r = RunSfxpack(dir, args, c.shellPrefix);
        EXPECT_EQ(r.exitCode, 1) << c.what;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(dir.List(), listing) << c.what;
        const std::vector<uint8_t> kept = ReadBytes(output);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous") << c.what;
    }
}

TEST_F(SignTest, TestCertificatesAndUsage) {
    const ToolResult made = RunSfxpack(dir, {"sign", "--make-test-cert", dir.Path("keys/new")});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path("keys/new/cert.pem")));
    EXPECT_TRUE(fs::is_regular_file(dir.Path("keys/new/key.pem")));

    fs::create_directories(dir.Path("empty-bin"));
    const ToolResult noOpenssl = RunSfxpack(dir, {"sign", "--make-test-cert", dir.Path("k2")},
                                            "PATH=" + dir.Path("empty-bin") + "; ");
    EXPECT_EQ(noOpenssl.exitCode, 1);
    EXPECT_NE(noOpenssl.err.find("openssl was not found on PATH"), std::string::npos) << noOpenssl.err;

    const std::vector<std::vector<std::string>> usage = {
        {"sign", package, "--out", output, "--cert", Cert()},
        {"sign", "--cert", Cert(), "--key", Key(), "--out", output},
        {"sign", "--make-test-cert", dir.Path("k3"), "--out", output},
    };
    for (const auto& args : usage) EXPECT_EQ(RunSfxpack(dir, args).exitCode, 2) << args.size();
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace sfxtest
