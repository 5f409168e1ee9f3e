// A scratch directory holding a synthetic launcher, with helpers to add inputs and pack.
// The launcher is x86 unless the fixture asks for another kind.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/raw_package.h"
#include "scratch_dir.h"
#include "synthetic_pe.h"
#include "tools/sfxpack/package/package_writer.h"

namespace sfxtest {

class PackageTest : public testing::Test {
protected:
    explicit PackageTest(const ImageKind& imageKind = kPe32) : kind(imageKind) {}

    void SetUp() override {
        launcherImage = BuildPeImage(kind);
        launcher = dir.Path("launcher.exe");
        WriteBytes(launcher, launcherImage);
    }

    std::string AddInput(const std::string& relative, const std::string& content) {
        const std::string path = dir.Path("in/" + relative);
        WriteText(path, content);
        return path;
    }

    std::string Pack(const std::vector<std::string>& inputs, const std::string& out = "out.exe") {
        const std::string path = dir.Path(out);
        std::string error;
        EXPECT_TRUE(sfx::CreatePackage(launcher, inputs, path, &error)) << error;
        return path;
    }

    // A package assembled byte by byte behind the launcher, for what Pack refuses to make.
    std::string WriteRawPackage(const RawEntries& entries) {
        const std::string path = dir.Path("raw.exe");
        WriteBytes(path, BuildRawPackage(launcherImage, entries));
        return path;
    }

    const ImageKind kind;
    ScratchDir dir;
    std::vector<uint8_t> launcherImage;
    std::string launcher;
};

// A fixture of that shape run over the launcher of each build, x86 and x64 (Fixture is
// PackageTest or derived from it): name the suite with INSTANTIATE_FOR_EACH_IMAGE_KIND.
template <class Fixture>
class ForEachImageKind : public Fixture, public testing::WithParamInterface<ImageKind> {
protected:
    ForEachImageKind() : Fixture(GetParam()) {}
};

inline std::string ImageKindName(const testing::TestParamInfo<ImageKind>& info) {
    return info.param.name;
}

inline void PrintTo(const ImageKind& kind, std::ostream* out) { *out << kind.architecture; }

#define INSTANTIATE_FOR_EACH_IMAGE_KIND(suite) \
    INSTANTIATE_TEST_SUITE_P(Image, suite, testing::Values(kPe32, kPe32Plus), ImageKindName)

}  // namespace sfxtest
