// The real launcher, packed by the package tool's own code, run as a separate process
// with a private temporary folder.
#include <gtest/gtest.h>

#include <regex>

#include "format/package_writer.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"

namespace {

const char kRunBat[] =
    "@echo off\r\n"
    "echo batch output line\r\n"
    "cd > \"%TEMP%\\cwd.txt\"\r\n"
    "copy /y payload.txt \"%TEMP%\\payload-copy.txt\" > nul\r\n"
    "exit /b 4\r\n";

class LaunchTest : public ::testing::Test {
protected:
    TestFolder root;
    std::wstring temp = root / L"tmp\\";
    std::wstring inputs = root / L"in\\";
    std::wstring package = root / L"VADuVavuVazo.exe";

    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        CreateDirectoryW(inputs.c_str(), nullptr);
    }

    void Pack(const std::vector<std::pair<std::wstring, std::string>>& files) {
        std::vector<std::string> paths;
        for (const auto& [name, content] : files) {
            ASSERT_TRUE(WriteText(inputs + name, content));
            paths.push_back(Narrow(inputs + name));
        }
        std::string error;
        ASSERT_TRUE(sfx::CreatePackage(Narrow(LauncherPath()), paths, Narrow(package), &error)) << error;
    }

    std::wstring WorkFolder() const { return temp + L"unpack\\"; }

    std::vector<std::wstring> Messages() const {
        return LogMessages(temp + L"unpack.log");
    }

    std::string Text(const std::wstring& path) const {
        const std::vector<uint8_t> bytes = ReadBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(LaunchTest, RunsTheBatchFileInTheWorkFolderAndCleansUp) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "payload bytes\r\n"}, {L"settings.ini", "[s]\r\n"}});
    const RunResult run = RunLauncher(package, temp);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);

    std::wstring workFolder = WorkFolder();
    workFolder.pop_back();
    EXPECT_EQ(Text(temp + L"cwd.txt"), Narrow(workFolder) + "\r\n");
    EXPECT_EQ(Text(temp + L"payload-copy.txt"), "payload bytes\r\n");
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "batch output line\r\n");
    EXPECT_FALSE(FileExists(WorkFolder()));

    const std::vector<std::wstring> m = Messages();
    ASSERT_EQ(m.size(), 17u);
    EXPECT_EQ(m[0], L"[CUnPack::FindHeader] Name:" + package);
    EXPECT_EQ(m[1], L"[CUnPack::FindHeader] Sign Size:0");
    EXPECT_EQ(m[2], L"[CUnPack::FindHeader] Header offset:" + std::to_wstring(ReadBytes(LauncherPath()).size()));
    EXPECT_EQ(m[4], L"[CUnPack::UnPackFiles] (1/3)UnPack file name:" + WorkFolder() + L"run.bat (" +
                        std::to_wstring(strlen(kRunBat)) + L")");
    EXPECT_EQ(m[10], L"[CUnPack::UnPackFiles] (3/3)UnPack file name:" + WorkFolder() + L"settings.ini (5)");
    EXPECT_EQ(m[12], L"[CUnPack::UnPackFiles] UnPack total 3 files.");
    EXPECT_EQ(m[13], L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:cmd.exe param:/c run.bat > \"" +
                         temp + L"unpack.log.txt\"");
    EXPECT_TRUE(std::regex_match(m[14], std::wregex(LR"(\[CUnPackFileApp::InitInstance\] execute succ 0x[0-9A-F]{8})")))
        << Narrow(m[14]);
    EXPECT_TRUE(std::regex_match(m[15], std::wregex(LR"(\[CUnPackFileApp::InitInstance\] execute wait pid:\d+)")));
    EXPECT_EQ(m[16], L"[CUnPackFileApp::InitInstance] execute done code:4");
}

TEST_F(LaunchTest, ASecondRunAppendsToTheLog) {
    Pack({{L"run.bat", "@echo off\r\n"}});
    ASSERT_TRUE(RunLauncher(package, temp).finished);
    const size_t first = Messages().size();
    ASSERT_TRUE(RunLauncher(package, temp).finished);
    EXPECT_EQ(Messages().size(), 2 * first);
}

TEST_F(LaunchTest, OneArgumentIsIgnored) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "p"}});
    const RunResult run = RunLauncher(package, temp, L"/whatever");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "batch output line\r\n");
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute done code:4");
}

TEST_F(LaunchTest, TwoOrMoreArgumentsRunTheNamedProgramInTheWorkFolder) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "p"}});
    const std::wstring record = temp + L"probe.txt";
    const RunResult run = RunLauncher(package, temp, Quote(ProbePath()) + L" /x  \"a b\"   /y ",
                                      {{L"PROBE_OUT", record}, {L"PROBE_EXIT", L"5"}});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);

    const std::vector<std::wstring> probe = SplitLines(ReadUtf16(record));
    ASSERT_GE(probe.size(), 3u);
    std::wstring workFolder = WorkFolder();
    workFolder.pop_back();
    EXPECT_EQ(probe[1], L"cwd=" + workFolder);
    const std::vector<std::wstring> args(probe.begin() + 3, probe.end());
    EXPECT_EQ(args, (std::vector<std::wstring>{L"arg=/x", L"arg=a b", L"arg=/y"}));
    EXPECT_FALSE(FileExists(temp + L"unpack.log.txt"));  // run.bat was not run

    const std::vector<std::wstring> m = Messages();
    EXPECT_NE(std::find(m.begin(), m.end(),
                        L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:" + ProbePath() +
                            L" param:/x \"a b\"  /y"),
              m.end());
    EXPECT_EQ(m.back(), L"[CUnPackFileApp::InitInstance] execute done code:5");
    EXPECT_FALSE(FileExists(WorkFolder())) << Narrow(ListFolder(WorkFolder()));
}

TEST_F(LaunchTest, AMissingProgramEndsTheRunWithoutADialogAndKeepsTheFiles) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "kept"}});
    const RunResult run = RunLauncher(package, temp, L"C:\\no\\such\\setup.exe /q", {}, 30000);
    ASSERT_TRUE(run.finished) << "a dialog would keep the launcher from ending";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_EQ(Text(WorkFolder() + L"payload.txt"), "kept");
}

TEST_F(LaunchTest, ALauncherWithoutAPackageStillRunsItsCommand) {
    // The bare launcher: no trailer to be found, nothing unpacked, the interpreter still
    // starts and ends on its own without a batch file.
    ASSERT_TRUE(CopyFileW(LauncherPath().c_str(), package.c_str(), FALSE));
    const RunResult run = RunLauncher(package, temp);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::wstring> m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_NE(std::find(m.begin(), m.end(), L"[CUnPack::FindHeader] Sign Size:0"), m.end());
    EXPECT_EQ(m.back().rfind(L"[CUnPackFileApp::InitInstance] execute done code:", 0), 0u) << Narrow(m.back());
}

}  // namespace
