#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>

#include "package_fixture.h"
#include "tools/sfxpack/package/package_writer.h"

namespace sfxtest {
namespace {

class RefusalTest : public PackageTest {
protected:
    struct Case {
        const char* what;
        std::function<std::string()> launcher;  // path of the launcher to use
        std::function<std::vector<std::string>()> inputs;
        const char* error;
    };

    std::string LauncherFrom(const std::vector<uint8_t>& image) {
        const std::string path = dir.Path("bad-launcher.exe");
        WriteBytes(path, image);
        return path;
    }

    // Refusal must leave the directory exactly as it was: no output, no temporary file,
    // and a previous output unchanged.
    void ExpectRefused(const Case& c, bool outputExists) {
        SCOPED_TRACE(std::string(c.what) + (outputExists ? ", output exists" : ", no output"));
        const std::string out = dir.Path("out.exe");
        if (outputExists) {
            WriteText(out, "previous package");
        } else {
            std::remove(out.c_str());
        }
        const std::string launcherPath = c.launcher();
        const std::vector<std::string> inputs = c.inputs();
        const std::vector<std::string> before = dir.List();
        std::string error;
        EXPECT_FALSE(sfx::CreatePackage(launcherPath, inputs, out, &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(dir.List(), before);
        if (outputExists) {
            const std::vector<uint8_t> kept = ReadBytes(out);
            EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous package");
        }
    }
};

TEST_F(RefusalTest, RefusedInputLeavesNoOutputAndKeepsAnOldOne) {
    auto good = [this] { return launcher; };
    auto one = [this] { return std::vector<std::string>{AddInput("ok.txt", "ok")}; };
    auto signedImage = [](const ImageKind& kind) {
        std::vector<uint8_t> image = BuildPeImage(kind);
        PutLe(image, kind.SecurityDirAddress(), static_cast<uint32_t>(image.size()), 4);
        PutLe(image, kind.SecurityDirSize(), 16, 4);
        image.resize(image.size() + 16);
        return image;
    };
    std::vector<uint8_t> overlay = BuildPe32Image();
    overlay.resize(overlay.size() + 300, 0xFF);

    const Case cases[] = {
        {"launcher not PE", [this] { return LauncherFrom(std::vector<uint8_t>(100, '#')); }, one,
         "no MZ"},
        {"launcher with a PE32+ header on an x86 machine",
         [this] { return LauncherFrom(BuildPe32Image(2, 0x20B)); }, one, "PE32+"},
        {"x86 launcher signed", [&] { return LauncherFrom(signedImage(kPe32)); }, one,
         "already signed"},
        {"x64 launcher signed", [&] { return LauncherFrom(signedImage(kPe32Plus)); }, one,
         "already signed"},
        {"launcher with overlay", [&] { return LauncherFrom(overlay); }, one,
         "300 bytes behind its last section"},
        {"launcher missing", [this] { return dir.Path("nope.exe"); }, one, "does not exist"},
        {"input missing", good,
         [this] { return std::vector<std::string>{dir.Path("in/gone.txt")}; }, "does not exist"},
        {"input is a directory", good,
         [this] {
             AddInput("sub/x.txt", "x");
             return std::vector<std::string>{dir.Path("in/sub")};
         },
         "is a directory"},
        {"input path ends in a separator", good,
         [this] { return std::vector<std::string>{dir.Path("in/")}; }, "is empty"},
        {"name too long", good,
         [this] { return std::vector<std::string>{dir.Path("in/" + std::string(260, 'n'))}; },
         "260 bytes long"},
        {"reserved name", good, [this] { return std::vector<std::string>{AddInput("CON", "c")}; },
         "reserved device"},
        {"forbidden character", good,
         [this] { return std::vector<std::string>{AddInput("a|b", "c")}; }, "does not allow"},
        {"trailing dot", good, [this] { return std::vector<std::string>{AddInput("x.", "c")}; },
         "ends in a dot"},
        {"names differ in case only", good,
         [this] {
             return std::vector<std::string>{AddInput("a/Read.Me", "1"), AddInput("ok.txt", "2"),
                                             AddInput("b/READ.ME", "3")};
         },
         "packed as 'Read.Me' and 'READ.ME'"},
        {"same file twice", good,
         [this] {
             const std::string p = AddInput("twice.txt", "2");
             return std::vector<std::string>{p, p};
         },
         "both be packed as 'twice.txt'"},
    };
    for (const Case& c : cases) {
        ExpectRefused(c, false);
        ExpectRefused(c, true);
    }
}

TEST_F(RefusalTest, UnreadableInputIsRefusedBeforeAnythingIsWritten) {
    const std::string path = AddInput("secret.txt", "s");
    chmod(path.c_str(), 0);
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        GTEST_SKIP() << "permissions are not enforced for this user";
    }
    ExpectRefused({"unreadable", [this] { return launcher; },
                   [path] { return std::vector<std::string>{path}; }, "cannot be opened"},
                  false);
}

// Linux pseudo-files claim size 0 and then yield data: the header written first would lie.
TEST_F(RefusalTest, InputThatChangesSizeWhilePackingFailsCleanly) {
    const std::string grows = "/proc/self/status";
    struct stat st;
    if (stat(grows.c_str(), &st) != 0 || st.st_size != 0) GTEST_SKIP() << "no " << grows;
    ExpectRefused({"size changed", [this] { return launcher; },
                   [grows] { return std::vector<std::string>{grows}; }, "changed size"},
                  true);
}

TEST_F(RefusalTest, OutputInAMissingFolderFailsCleanly) {
    std::string error;
    EXPECT_FALSE(sfx::CreatePackage(launcher, {AddInput("a.txt", "a")},
                                    dir.Path("no/such/dir/out.exe"), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"in", "launcher.exe"}));
}

}  // namespace
}  // namespace sfxtest
