// A scratch directory holding a synthetic launcher, with helpers to add inputs and pack.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/raw_package.h"
#include "scratch_dir.h"
#include "synthetic_pe.h"
#include "tools/sfxpack/package/package_writer.h"

namespace sfxtest {

class PackageTest : public testing::Test {
protected:
    void SetUp() override {
        launcherImage = BuildPe32Image();
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

    ScratchDir dir;
    std::vector<uint8_t> launcherImage;
    std::string launcher;
};

}  // namespace sfxtest
