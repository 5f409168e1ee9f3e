// Files made to cost a reader time or memory: every verb must answer at once, within a
// small address space, with one line naming the file.
#include <gtest/gtest.h>

#include <chrono>

#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {
namespace {

// Far below what reading up to a far e_lfanew would need (2 GiB), well above a real run.
constexpr const char* kMemoryLimit = "ulimit -v 262144; ";
constexpr auto kTimeLimit = std::chrono::seconds(5);

class HostileFileTest : public PackageTest {
protected:
    // 4 KiB of a DOS header whose e_lfanew points just below 2 GiB, in a sparse file that
    // reaches past it, so a reader that loads everything up to e_lfanew has it to read.
    std::string FarLfanewFile(uint64_t length) {
        std::vector<uint8_t> b(4096, 0);
        b[0] = 'M';
        b[1] = 'Z';
        PutLe(b, 60, 0x7FFFFF00, 4);
        const std::string path = dir.Path("far-lfanew.exe");
        WriteBytes(path, b);
        fs::resize_file(path, length);
        return path;
    }
};

TEST_F(HostileFileTest, FarLfanewIsRefusedAtOnceByEveryVerb) {
    const std::pair<uint64_t, const char*> cases[] = {
        {4096, "file ends inside the PE file header"},
        {(uint64_t(1) << 31) + 4096, "no PE signature at e_lfanew (0x7FFFFF00)"},
    };
    for (const auto& c : cases) {
        const uint64_t length = c.first;
        const std::string crafted = FarLfanewFile(length);
        const std::vector<std::vector<std::string>> runs = {
            {"list", crafted},
            {"list", "--json", crafted},
            {"verify", crafted},
            {"extract", crafted, "--to", dir.Path("to")},
            {"create", "--launcher", crafted, "--out", dir.Path("out.exe")},
        };
        for (const auto& args : runs) {
            SCOPED_TRACE(args.front() + " of a file of " + std::to_string(length) + " bytes");
            const auto start = std::chrono::steady_clock::now();
            const ToolResult r = RunSfxpack(dir, args, kMemoryLimit);
            EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeLimit);
            EXPECT_EQ(r.exitCode, 1) << r.err;
            EXPECT_NE(r.err.find("far-lfanew.exe"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.second), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
        EXPECT_FALSE(fs::exists(dir.Path("to")));
        EXPECT_FALSE(fs::exists(dir.Path("out.exe")));
    }
}

}  // namespace
}  // namespace sfxtest
