// Files made to cost a reader time or memory: every verb must answer at once, within a
// small address space, with one line naming the file.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <sstream>
#include <streambuf>

#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/package/package_reader.h"

#include "package_fixture.h"
#include "run_sfxpack.h"
#include "signing.h"

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
            {"create", "--launcher", crafted, "--out", dir.Path("out.exe"), AddInput("run.bat", "")},
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

// A source that runs out of memory part way, as a package of very many entries does on a
// 32-bit machine.
class ExhaustedSource : public sfx::ByteSource {
public:
    explicit ExhaustedSource(const std::vector<uint8_t>& bytes, int readsBeforeFailing)
        : inner_(bytes.data(), bytes.size()), left_(readsBeforeFailing) {}
    uint64_t Size() const override { return inner_.Size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t n, std::string* error) override {
        if (left_-- == 0) throw std::bad_alloc();
        return inner_.ReadAt(offset, buffer, n, error);
    }

private:
    sfx::MemoryByteSource inner_;
    int left_;
};

// Output that cannot take more: the allocation behind it fails.
class ExhaustedBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { throw std::bad_alloc(); }
};

TEST_F(HostileFileTest, RunningOutOfMemoryIsAMessageNamingTheFileNotAnAbort) {
    const std::string package = Pack({AddInput("a.txt", "a"), AddInput("b.txt", "b")});
    const std::vector<uint8_t> bytes = ReadBytes(package);
    for (int reads = 0; reads < 6; ++reads) {
        ExhaustedSource source(bytes, reads);
        sfx::PackageReport report;
        std::string error;
        EXPECT_FALSE(sfx::InspectPackageSource(&source, "'pkg.exe'", &report, &error)) << reads;
        EXPECT_EQ(error.rfind("'pkg.exe': not enough memory", 0), 0u) << error;
        EXPECT_TRUE(report.entries.empty());
    }

    ExhaustedBuffer full;
    std::ostream out(&full);
    out.exceptions(std::ios::badbit);
    std::ostringstream err;
    EXPECT_EQ(sfxpack::Run({"list", package}, out, err), sfxpack::kExitFailed);
    EXPECT_EQ(err.str(), "sfxpack: not enough memory for 'sfxpack list " + package + "'\n");
}

TEST_F(HostileFileTest, OutputThatCannotBeWrittenIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string package = Pack({AddInput("a.txt", "a")});
    const int status = ShellStatus(ShellQuoted(SFXPACK_EXE) + " list " + ShellQuoted(package) +
                                   " >/dev/full 2>" + ShellQuoted(dir.Path("err.txt")));
    EXPECT_EQ(status, 1);
    const std::vector<uint8_t> err = ReadBytes(dir.Path("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()),
              "sfxpack: cannot write to standard output: No space left on device\n");
}

}  // namespace
}  // namespace sfxtest
