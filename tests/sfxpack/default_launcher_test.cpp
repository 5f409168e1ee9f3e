// create without --launcher: an installed sfxpack takes the image installed beside it,
// wherever the installation was put; in the build tree, the built one; --launcher wins.
#include <gtest/gtest.h>

#include "package_fixture.h"
#include "run_sfxpack.h"

namespace sfxtest {
namespace {

bool StartsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

class DefaultLauncherTest : public PackageTest {
protected:
    // An installation moved to a scratch prefix, as dpkg-deb -x would leave it.
    void SetUp() override {
        PackageTest::SetUp();
        installed = dir.Path("prefix/bin/sfxpack");
        image = dir.Path("prefix/share/sfxpack/VADuVavuVazo.exe");
        fs::create_directories(dir.Path("prefix/bin"));
        fs::copy_file(SFXPACK_EXE, installed);
        fs::permissions(installed, fs::perms::owner_all);
        WriteBytes(image, launcherImage);
        input = AddInput("run.bat", "@echo off\r\n");
    }
    std::string installed, image, input;
};

TEST_F(DefaultLauncherTest, InstalledToolTakesTheImageInstalledBesideIt) {
    const std::string out = dir.Path("pkg.exe");
    const ToolResult made = RunProgram(dir, installed, {"create", "--out", out, input});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_TRUE(StartsWith(ReadBytes(out), launcherImage));
    EXPECT_EQ(RunProgram(dir, installed, {"list", out}).exitCode, 0);

    const std::vector<uint8_t> other = BuildPe32Image(3);
    WriteBytes(dir.Path("other.exe"), other);
    const ToolResult given =
        RunProgram(dir, installed, {"create", "--launcher", dir.Path("other.exe"), "--out", out, input});
    ASSERT_EQ(given.exitCode, 0) << given.err;
    EXPECT_TRUE(StartsWith(ReadBytes(out), other));

    fs::remove(image);
    const ToolResult missing = RunProgram(dir, installed, {"create", "--out", out, input});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("prefix/bin/../share/sfxpack/VADuVavuVazo.exe' does not exist"),
              std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("--launcher"), std::string::npos) << missing.err;
    EXPECT_TRUE(StartsWith(ReadBytes(out), other));  // left as it was
}

TEST_F(DefaultLauncherTest, BuildTreeToolTakesTheBuiltImage) {
    const std::string out = dir.Path("pkg.exe");
    const ToolResult r = RunSfxpack(dir, {"create", "--out", out, input});
    if (fs::exists(SFXPACK_BUILT_LAUNCHER)) {
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(StartsWith(ReadBytes(out), ReadBytes(SFXPACK_BUILT_LAUNCHER)));
    } else {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(std::string(SFXPACK_BUILT_LAUNCHER) + "' does not exist"),
                  std::string::npos)
            << r.err;
    }
}

}  // namespace
}  // namespace sfxtest
