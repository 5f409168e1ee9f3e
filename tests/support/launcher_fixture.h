// A private temporary folder and a package made by the package tool's own writer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/launcher_run.h"
#include "support/test_folder.h"
#include "tools/sfxpack/package/package_writer.h"

class LauncherFixture : public ::testing::Test {
protected:
    TestFolder root;
    std::wstring temp = root / L"tmp\\";
    std::wstring inputs = root / L"in\\";
    std::wstring package = root / L"VADuVavuVazo.exe";

    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        CreateDirectoryW(inputs.c_str(), nullptr);
    }

    // Packs the files (name, content) into package with the launcher.
    void Pack(const std::vector<std::pair<std::wstring, std::string>>& files) {
        std::vector<std::string> paths;
        for (const auto& [name, content] : files) {
            ASSERT_TRUE(WriteText(inputs + name, content));
            paths.push_back(Narrow(inputs + name));
        }
        std::string error;
        ASSERT_TRUE(sfx::CreatePackage(Narrow(LauncherPath()), paths, Narrow(package), &error)) << error;
    }

    RunResult Run(const std::wstring& args = std::wstring(), EnvOverrides extra = {}, DWORD timeoutMs = 60000) {
        return RunLauncher(package, temp, args, std::move(extra), timeoutMs);
    }

    std::wstring WorkFolder() const { return temp + L"unpack\\"; }
    std::vector<std::wstring> Messages() const { return LogMessages(temp + L"unpack.log"); }
    bool Logged(const std::wstring& message) const {
        const std::vector<std::wstring> m = Messages();
        return std::find(m.begin(), m.end(), message) != m.end();
    }
    std::string Text(const std::wstring& path) const {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
};

// The interpreter the launcher is expected to start for run.bat on this prefix.
std::wstring ExpectedInterpreter();
