// create without --launcher: an installed sfxpack takes the image of the architecture
// --arch asks for (x86 by default) installed beside it, wherever the installation was put;
// in the build tree, the built one; --launcher wins, and must fit --arch when both are given.
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
        imageX64 = dir.Path("prefix/share/sfxpack/x64/VADuVavuVazo.exe");
        fs::create_directories(dir.Path("prefix/bin"));
        fs::copy_file(SFXPACK_EXE, installed);
        fs::permissions(installed, fs::perms::owner_all);
        WriteBytes(image, launcherImage);
        WriteBytes(imageX64, launcherImageX64);
        input = AddInput("run.bat", "@echo off\r\n");
    }
    const std::vector<uint8_t> launcherImageX64 = BuildPeImage(kPe32Plus, 3);
    std::string installed, image, imageX64, input;
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

TEST_F(DefaultLauncherTest, InstalledToolTakesTheX64ImageFromItsOwnFolder) {
    const std::string out = dir.Path("pkg.exe");
    const ToolResult made =
        RunProgram(dir, installed, {"create", "--arch", "x64", "--out", out, input});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_TRUE(StartsWith(ReadBytes(out), launcherImageX64));
    const ToolResult x86 =
        RunProgram(dir, installed, {"create", "--arch=x86", "--out", out, input});
    ASSERT_EQ(x86.exitCode, 0) << x86.err;
    EXPECT_TRUE(StartsWith(ReadBytes(out), launcherImage));

    fs::remove(imageX64);
    const ToolResult missing =
        RunProgram(dir, installed, {"create", "--arch", "x64", "--out", out, input});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("prefix/bin/../share/sfxpack/x64/VADuVavuVazo.exe' does not exist"),
              std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("--preset windows-x64'"), std::string::npos) << missing.err;
}

// The image must be of the architecture asked for, or of the default when no --launcher
// says otherwise; an image of the other one is refused before anything is written.
TEST_F(DefaultLauncherTest, AnImageOfTheOtherArchitectureIsRefused) {
    const std::string x64 = dir.Path("x64.exe");
    WriteBytes(x64, launcherImageX64);
    struct Case {
        std::vector<std::string> args;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {{"--launcher", x64}, ""},
        {{"--launcher", x64, "--arch", "x64"}, ""},
        {{"--launcher", launcher, "--arch", "x86"}, ""},
        {{"--launcher", x64, "--arch", "x86"},
         "sfxpack: launcher '{x64}' is an x64 image, not x86 as --arch asks\n"},
        {{"--arch", "x64", "--launcher", launcher},
         "sfxpack: launcher '{launcher}' is an x86 image, not x64 as --arch asks\n"},
        {{}, "sfxpack: launcher '{image}' is an x64 image, not x86, the default of --arch\n"},
    };
    WriteBytes(image, launcherImageX64);  // an installation gone wrong
    const std::string out = dir.Path("pkg.exe");
    for (const Case& c : cases) {
        std::vector<std::string> args = {"create", "--out", out, input};
        args.insert(args.end(), c.args.begin(), c.args.end());
        fs::remove(out);
        const ToolResult r = RunProgram(dir, installed, args);
        std::string expected = c.error;
        for (const auto& name : {std::pair<std::string, std::string>{"{x64}", x64},
                                 {"{launcher}", launcher},
                                 {"{image}", fs::canonical(image).string()}}) {
            const size_t at = expected.find(name.first);
            if (at != std::string::npos) expected.replace(at, name.first.size(), name.second);
        }
        EXPECT_EQ(r.exitCode, expected.empty() ? 0 : 1) << r.err;
        EXPECT_EQ(r.err, expected);
        EXPECT_EQ(fs::exists(out), expected.empty()) << r.err;
    }
}

TEST_F(DefaultLauncherTest, BuildTreeToolTakesTheBuiltImageOfEachArchitecture) {
    const std::pair<std::vector<std::string>, std::string> builds[] = {
        {{}, SFXPACK_BUILT_LAUNCHER},
        {{"--arch", "x64"}, SFXPACK_BUILT_LAUNCHER_X64},
    };
    for (const auto& build : builds) {
        SCOPED_TRACE(build.second);
        const std::string out = dir.Path("pkg.exe");
        std::vector<std::string> args = {"create", "--out", out, input};
        args.insert(args.end(), build.first.begin(), build.first.end());
        const ToolResult r = RunSfxpack(dir, args);
        if (fs::exists(build.second)) {
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_TRUE(StartsWith(ReadBytes(out), ReadBytes(build.second)));
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find(build.second + "' does not exist"), std::string::npos) << r.err;
        }
    }
}

}  // namespace
}  // namespace sfxtest
