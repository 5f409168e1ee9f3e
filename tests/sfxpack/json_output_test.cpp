// list --json and verify --json, read back by a real JSON parser and compared with what
// the reader found.
#include <gtest/gtest.h>

#include "json_document.h"
#include "package_fixture.h"
#include "tools/sfxpack/package/package_reader.h"

namespace sfxtest {
namespace {

class JsonOutputTest : public PackageTest {
protected:
    explicit JsonOutputTest(const ImageKind& imageKind = kPe32) : PackageTest(imageKind) {}

    void SetUp() override {
        PackageTest::SetUp();
        if (!HaveCommand("python3")) GTEST_SKIP() << "needs python3 to parse JSON";
    }
    JsonDocument Run(const std::vector<std::string>& args, int expectedExit) {
        const ToolResult r = RunSfxpack(dir, args);
        EXPECT_EQ(r.exitCode, expectedExit) << r.err;
        JsonDocument doc = ParseJson(dir, r.out);
        EXPECT_TRUE(doc.parsed);
        return doc;
    }
};

TEST_F(JsonOutputTest, ListGivesEveryEntryAndProblemWithItsOffset) {
    // A quote and a byte outside ASCII must come out escaped; each of the three names is a
    // problem of its entry.
    const std::string package =
        WriteRawPackage({{"q\"uote.txt", "12"}, {"caf\xE9", "345"}, {"CON", ""}});
    sfx::PackageReport report;
    std::string error;
    ASSERT_TRUE(sfx::InspectPackage(package, &report, &error)) << error;
    ASSERT_EQ(report.problems.size(), 3u);

    const JsonDocument doc = Run({"list", "--json", package}, 1);
    EXPECT_EQ(doc["format"], "1");
    const std::string names[] = {JsonText("q\\\"uote.txt"), JsonText("caf\\u00e9"), JsonText("CON")};
    EXPECT_EQ(doc["entries.#"], "3");
    for (size_t i = 0; i < 3; ++i) {
        const sfx::PackageEntryInfo& e = report.entries[i];
        const std::string at = "entries." + std::to_string(i) + ".";
        EXPECT_EQ(doc[at + "name"], names[i]);
        EXPECT_EQ(doc[at + "entry"], std::to_string(i + 1));
        EXPECT_EQ(doc[at + "index"], std::to_string(e.index));
        EXPECT_EQ(doc[at + "size"], std::to_string(e.size));
        EXPECT_EQ(doc[at + "offset"], std::to_string(e.contentOffset));
        EXPECT_EQ(doc[at + "headerOffset"], std::to_string(e.headerOffset));
    }
    EXPECT_EQ(doc["file"], JsonText(package));
    EXPECT_EQ(doc["packageOffset"], std::to_string(launcherImage.size()));
    EXPECT_EQ(doc["trailerOffset"], std::to_string(report.trailerOffset));
    EXPECT_EQ(doc["filler.offset"], std::to_string(report.fillerOffset));
    EXPECT_EQ(doc["certificateTable"], "null");
    EXPECT_EQ(doc["intact"], "false");
    const char* const faults[] = {"which Windows does not allow", "outside printable ASCII",
                                  "reserved device name"};
    EXPECT_EQ(doc["problems.#"], "3");
    for (size_t i = 0; i < 3; ++i) {
        const std::string at = "problems." + std::to_string(i) + ".";
        EXPECT_EQ(doc[at + "entry"], std::to_string(i + 1));
        EXPECT_EQ(doc[at + "offset"], std::to_string(report.entries[i].headerOffset + 24));
        EXPECT_NE(doc[at + "text"].find("entry " + std::to_string(i + 1) + " ("), std::string::npos)
            << doc[at + "text"];
        EXPECT_NE(doc[at + "text"].find(faults[i]), std::string::npos) << doc[at + "text"];
    }
    EXPECT_EQ(doc["warnings.#"], "1");
    EXPECT_NE(doc["warnings.0.text"].find("run.bat"), std::string::npos);
    EXPECT_EQ(doc["signature.state"], JsonText("unsigned"));
}

TEST_F(JsonOutputTest, VerifyOfAnUnsignedPackageAndOfNoPackageAtAll) {
    const JsonDocument ok = Run({"verify", "--json", Pack({AddInput("a.txt", "a")})}, 0);
    EXPECT_EQ(ok["verified"], "true");
    EXPECT_EQ(ok["failed.#"], "0");
    EXPECT_EQ(ok["intact"], "true");
    EXPECT_EQ(ok["entries.0.name"], JsonText("a.txt"));
    EXPECT_EQ(ok["signature.state"], JsonText("unsigned"));

    const std::string text = AddInput("notes.txt", "not an image");
    for (const char* verb : {"list", "verify"}) {
        const JsonDocument none = Run({verb, text, "--json"}, 1);
        EXPECT_EQ(none["file"], JsonText(text)) << verb;
        EXPECT_NE(none["error"].find("is not an x86 or x64 Windows image: file ends inside the DOS header"), std::string::npos) << none["error"];
    }
}

class EachImageJsonOutputTest : public ForEachImageKind<JsonOutputTest> {};
INSTANTIATE_FOR_EACH_IMAGE_KIND(EachImageJsonOutputTest);

TEST_P(EachImageJsonOutputTest, ListAndVerifyNameTheArchitectureAfterTheImageEnd) {
    const std::string package = Pack({AddInput("a.txt", "a")});
    for (const char* verb : {"list", "verify"}) {
        const ToolResult r = RunSfxpack(dir, {verb, "--json", package});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ParseJson(dir, r.out)["architecture"], JsonText(kind.architecture)) << verb;
        const size_t at = r.out.find("\"architecture\"");
        EXPECT_LT(r.out.find("\"imageEnd\""), at) << r.out;
        EXPECT_GT(r.out.find("\"packageOffset\""), at) << r.out;
    }
}

class SignedJsonTest : public SigningTest {};

// Trust is given explicitly both times, so the outcome does not hang on the system's CA
// bundle; the verifier's own words say what it made of the chain.
TEST_F(SignedJsonTest, VerifyTellsTheSignatureStateAndTheVerifiersWords) {
    if (!HaveCommand("python3")) GTEST_SKIP() << "needs python3 to parse JSON";
    const std::string package = Pack({AddInput("run.bat", "@echo off\r\n")});
    const std::string signedPackage = dir.Path("signed.exe");
    ASSERT_EQ(SignWithOsslsigncode(package, signedPackage), 0);
    const std::string otherKeys = dir.Path("other");
    ASSERT_EQ(RunSfxpack(dir, {"sign", "--make-test-cert", otherKeys}).exitCode, 0);

    const ToolResult trusted = RunSfxpack(dir, {"verify", "--json", signedPackage, "--ca", Cert()});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    const JsonDocument yes = ParseJson(dir, trusted.out);
    EXPECT_EQ(yes["signature.state"], JsonText("verified"));
    EXPECT_NE(yes["signature.verifierOutput"].find("Signature verification: ok"), std::string::npos);
    EXPECT_EQ(yes["certificateTable.intact"], "true");
    EXPECT_EQ(yes["certificateTable.offset"], std::to_string(ReadBytes(package).size()));
    EXPECT_EQ(yes["verified"], "true");

    const ToolResult other =
        RunSfxpack(dir, {"verify", "--json", signedPackage, "--ca", otherKeys + "/cert.pem"});
    EXPECT_EQ(other.exitCode, 1);
    const JsonDocument no = ParseJson(dir, other.out);
    EXPECT_EQ(no["signature.state"], JsonText("not verified"));
    EXPECT_NE(no["signature.verifierOutput"].find("Signature verification: failed"),
              std::string::npos);
    EXPECT_EQ(no["failed.0"], JsonText("signature"));
    EXPECT_EQ(no["verified"], "false");
}

}  // namespace
}  // namespace sfxtest
