#include "tools/sfxpack/package/certificate_table.h"

#include <gtest/gtest.h>

#include "package_fixture.h"

namespace sfxtest {
namespace {

// A package, x86 or x64, with a 64-byte table of the shape a signer writes, then one field
// changed.
class CertificateTableTest : public ForEachImageKind<PackageTest> {
protected:
    void SetUp() override {
        PackageTest::SetUp();
        bytes = ReadBytes(Pack({AddInput("a.txt", "abc")}));
        table = bytes.size();
        bytes.resize(table + 64, 0x30);
        PutLe(bytes, table, 64, 4);
        PutLe(bytes, table + 4, 0x0200, 2);
        PutLe(bytes, table + 6, 0x0002, 2);
        PutLe(bytes, kind.SecurityDirAddress(), table, 4);
        PutLe(bytes, kind.SecurityDirSize(), 64, 4);
    }

    bool Check(const std::vector<uint8_t>& b, std::string* reason) {
        sfx::PackageReport report;
        std::string error;
        EXPECT_TRUE(sfx::InspectPackageData(b.data(), b.size(), &report, &error)) << error;
        sfx::MemoryByteSource source(b.data(), b.size());
        sfx::CertificateTableInfo info;
        return sfx::CheckCertificateTable(&source, report, &info, reason);
    }

    std::vector<uint8_t> bytes;
    size_t table = 0;
};
INSTANTIATE_FOR_EACH_IMAGE_KIND(CertificateTableTest);

TEST_P(CertificateTableTest, AcceptsOnlyOnePkcs7EntryFillingTheTable) {
    std::string reason;
    EXPECT_TRUE(Check(bytes, &reason)) << reason;

    struct Case {
        const char* what;
        size_t at;
        uint64_t value;
        int width;
        const char* reason;
    };
    const Case cases[] = {
        {"dwLength short of the padding", table, 56, 4, "does not cover"},
        {"dwLength past the table", table, 65, 4, "does not cover"},
        {"header only", table, 8, 4, "does not cover"},
        {"revision 1.0", table + 4, 0x0100, 2, "revision 0x0100"},
        {"X.509 type", table + 6, 0x0001, 2, "type 0x0001"},
        {"size below a header", kind.SecurityDirSize(), 4, 4, "no room"},
        {"size negative", kind.SecurityDirSize(), 0x80000040u, 4, "names no table"},
        {"address off the end", kind.SecurityDirAddress(), table + 8, 4, "does not end at the end"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = bytes;
        PutLe(b, c.at, c.value, c.width);
        if (c.at == kind.SecurityDirSize() && c.value == 4) {
            b.resize(table + 4);  // keep the table at the end of the file
        }
        EXPECT_FALSE(Check(b, &reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

}  // namespace
}  // namespace sfxtest
