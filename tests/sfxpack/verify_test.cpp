#include <gtest/gtest.h>

#include <cstdlib>

#include "format/package_format.h"
#include "signing.h"
#include "tools/sfxpack/package/package_writer.h"

namespace sfxtest {
namespace {

void SetPathVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("PATH", value.c_str());
#else
    setenv("PATH", value.c_str(), 1);
#endif
}

void ExpectLines(const ToolResult& r, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\nin:\n" << r.out;
    }
}

class VerifyTest : public PackageTest {};

TEST_F(VerifyTest, UnsignedPackagePassesOnItsLayoutAlone) {
    const std::string package = Pack({AddInput("a.txt", "a"), AddInput("b.txt", "bb")});
    const ToolResult intact = RunSfxpack(dir, {"verify", package});
    EXPECT_EQ(intact.exitCode, 0) << intact.err;
    EXPECT_TRUE(intact.err.empty()) << intact.err;
    ExpectLines(intact,
                {"architecture: x86", "layout: intact", "certificate table: none (not signed)"});
    EXPECT_EQ(intact.out.find("signature:"), std::string::npos) << intact.out;

    std::vector<uint8_t> b = ReadBytes(package);
    b[launcherImage.size() + 4] = 7;  // FileIndex of the first entry
    WriteBytes(package, b);
    const ToolResult broken = RunSfxpack(dir, {"verify", package});
    EXPECT_EQ(broken.exitCode, 1);
    ExpectLines(broken, {"layout: BROKEN"});
    EXPECT_NE(broken.err.find("failed verification (layout)"), std::string::npos) << broken.err;
}

class SignedVerifyTest : public SigningTest {
protected:
    explicit SignedVerifyTest(const ImageKind& imageKind = kPe32) : SigningTest(imageKind) {}

    void SetUp() override {
        SigningTest::SetUp();
        if (IsSkipped()) return;
        unsignedPackage =
            Pack({AddInput("run.bat", "@echo off\r\n"), AddInput("data.bin", "0123")});
        signedPackage = dir.Path("signed.exe");
        ASSERT_EQ(SignWithScript(unsignedPackage, signedPackage), 0);
        bytes = ReadBytes(signedPackage);
        table = ReadBytes(unsignedPackage).size();  // a multiple of 16: no padding before it
    }

    std::string unsignedPackage, signedPackage;
    std::vector<uint8_t> bytes;
    size_t table = 0;
};

// Signed by osslsigncode, x86 or x64: the certificate table must be where each launcher
// looks for it.
class EachImageSignedVerifyTest : public ForEachImageKind<SignedVerifyTest> {};
INSTANTIATE_FOR_EACH_IMAGE_KIND(EachImageSignedVerifyTest);

TEST_P(EachImageSignedVerifyTest, SignedPackagePassesWhenItsCertificateIsTrusted) {
    const ToolResult trusted = RunSfxpack(dir, {"verify", signedPackage, "--ca", Cert()});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.out << trusted.err;
    ExpectLines(trusted, {std::string("architecture: ") + kind.architecture, "layout: intact",
                          "certificate table: " + std::to_string(bytes.size() - table) +
                              " bytes at " + std::to_string(table) + ", PKCS#7",
                          "signature: verified by osslsigncode"});

    // Trusting another certificate vouches for nothing; the trust store is given, so the
    // outcome does not hang on the system's CA bundle.
    const std::string otherKeys = dir.Path("other-keys");
    ASSERT_EQ(RunSfxpack(dir, {"sign", "--make-test-cert", otherKeys}).exitCode, 0);
    const ToolResult untrusted =
        RunSfxpack(dir, {"verify", signedPackage, "--ca", otherKeys + "/cert.pem"});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_NE(untrusted.out.find("signature: NOT verified: osslsigncode exited with "), std::string::npos)
        << untrusted.out;
    ExpectLines(untrusted, {"    Signature verification: failed"});
}

TEST_P(EachImageSignedVerifyTest, TamperedSignedPackageFails) {
    struct Case {
        const char* what;
        size_t at;
        uint8_t xorWith;
        const char* line;
        const char* failed;
    };
    const size_t content = launcherImage.size() + sfx::kEntryHeaderSize;
    const Case cases[] = {
        {"content byte", content + 2, 0x01, "signature: NOT verified", "(signature)"},
        {"byte inside the PKCS#7 data", table + 300, 0xFF, "signature: NOT verified",
         "(signature)"},
        {"WIN_CERTIFICATE revision", table + 5, 0x03, "certificate table: BROKEN", "(certificate"},
        {"table size in the PE header", kind.SecurityDirSize(), 0x08, "layout: BROKEN", "(layout"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = bytes;
        b.at(c.at) ^= c.xorWith;
        const std::string path = dir.Path("tampered.exe");
        WriteBytes(path, b);
        const ToolResult r = RunSfxpack(dir, {"verify", path, "--ca", Cert()});
        EXPECT_EQ(r.exitCode, 1) << c.what;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.what << ":\n" << r.out;
        EXPECT_NE(r.err.find(c.failed), std::string::npos) << c.what << ": " << r.err;
    }
}

TEST_F(SignedVerifyTest, SignatureThatCannotBeCheckedIsAFailure) {
    const std::string emptyBin = dir.Path("empty-bin");
    fs::create_directories(emptyBin);
    const char* saved = std::getenv("PATH");
    const std::string path = saved != nullptr ? saved : "";
    SetPathVariable(emptyBin);
    const ToolResult r = RunSfxpack(dir, {"verify", signedPackage, "--ca", Cert()});
    SetPathVariable(path);
    EXPECT_EQ(r.exitCode, 1);
    ExpectLines(r, {"signature: NOT checked: osslsigncode was not found on PATH"});
}

TEST_F(SignedVerifyTest, SigningScriptLeavesNothingWhenItFails) {
    std::vector<uint8_t> b = ReadBytes(unsignedPackage);
    b.push_back(0);  // no trailer at the end any more
    const std::string broken = dir.Path("broken.exe");
    WriteBytes(broken, b);
    const std::string otherKeys = dir.Path("other-keys");
    ASSERT_EQ(ShellStatus("bash " + ShellQuoted(SignScript()) + " --make-test-cert " +
                          ShellQuoted(otherKeys) + " >/dev/null"),
              0);
    const std::string out = dir.Path("kept.exe");
    WriteText(out, "previous");
    const std::vector<std::string> before = dir.List();

    EXPECT_NE(SignWithScript(broken, out), 0) << "broken input";
    // osslsigncode itself fails: the key does not belong to the certificate.
    EXPECT_NE(SignWithScript(unsignedPackage, out, otherKeys + "/key.pem"), 0) << "wrong key";
    EXPECT_EQ(dir.List(), before);
    const std::vector<uint8_t> kept = ReadBytes(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous");
}

TEST_P(EachImageSignedVerifyTest, CreateRefusesALauncherThatIsReallySigned) {
    const std::string signedLauncher = dir.Path("signed-launcher.exe");
    ASSERT_EQ(SignWithOsslsigncode(launcher, signedLauncher), 0);
    std::string error;
    EXPECT_FALSE(sfx::CreatePackage(signedLauncher, {AddInput("a.txt", "a")},
                                    dir.Path("refused.exe"), &error));
    EXPECT_NE(error.find("already signed"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir.Path("refused.exe")));
}

}  // namespace
}  // namespace sfxtest
