// The real launcher, packed by the package tool's own code, run as a separate process
// with a private temporary folder.
#include <gtest/gtest.h>

#include <regex>

#include "support/launcher_fixture.h"

namespace {

const char kRunBat[] =
    "@echo off\r\n"
    "echo batch output line\r\n"
    "cd > \"%TEMP%\\cwd.txt\"\r\n"
    "copy /y payload.txt \"%TEMP%\\payload-copy.txt\" > nul\r\n"
    "exit /b 4\r\n";

using LaunchTest = LauncherFixture;

TEST_F(LaunchTest, RunsTheBatchFileInTheWorkFolderAndCleansUp) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "payload bytes\r\n"}, {L"settings.ini", "[s]\r\n"}});
    const RunResult run = Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);

    std::wstring workFolder = WorkFolder();
    workFolder.pop_back();
    EXPECT_EQ(Text(temp + L"cwd.txt"), Narrow(workFolder) + "\r\n");
    EXPECT_EQ(Text(temp + L"payload-copy.txt"), "payload bytes\r\n");
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "batch output line\r\n");
    EXPECT_FALSE(FileExists(WorkFolder()));

    const std::vector<std::wstring> m = Messages();
    ASSERT_EQ(m.size(), 18u);
    EXPECT_EQ(m[0].rfind(L"[CUtility::OSInfo] OS ", 0), 0u) << Narrow(m[0]);
    EXPECT_EQ(m[1], L"[CUnPack::FindHeader] Name:" + package);
    EXPECT_EQ(m[2], L"[CUnPack::FindHeader] Sign Size:0");
    EXPECT_EQ(m[3], L"[CUnPack::FindHeader] Header offset:" + std::to_wstring(ReadBytes(LauncherPath()).size()));
    EXPECT_EQ(m[5], L"[CUnPack::UnPackFiles] (1/3)UnPack file name:" + WorkFolder() + L"run.bat (" +
                        std::to_wstring(strlen(kRunBat)) + L")");
    EXPECT_EQ(m[11], L"[CUnPack::UnPackFiles] (3/3)UnPack file name:" + WorkFolder() + L"settings.ini (5)");
    EXPECT_EQ(m[13], L"[CUnPack::UnPackFiles] UnPack total 3 files.");
    EXPECT_EQ(m[14], L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:" + ExpectedInterpreter() + L" param:/D /E:ON /V:OFF /c run.bat > \"" +
                         temp + L"unpack.log.txt\"");
    EXPECT_TRUE(std::regex_match(m[15], std::wregex(LR"(\[CUnPackFileApp::InitInstance\] execute succ 0x[0-9A-F]{8})")))
        << Narrow(m[15]);
    EXPECT_TRUE(std::regex_match(m[16], std::wregex(LR"(\[CUnPackFileApp::InitInstance\] execute wait pid:\d+)")));
    EXPECT_EQ(m[17], L"[CUnPackFileApp::InitInstance] execute done code:4");
}

TEST_F(LaunchTest, ASecondRunAppendsToTheLog) {
    Pack({{L"run.bat", "@echo off\r\n"}});
    ASSERT_TRUE(Run().finished);
    const size_t first = Messages().size();
    ASSERT_TRUE(Run().finished);
    EXPECT_EQ(Messages().size(), 2 * first);
}

TEST_F(LaunchTest, OneArgumentIsIgnored) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "p"}});
    const RunResult run = Run(L"/whatever");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "batch output line\r\n");
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute done code:4");
}

TEST_F(LaunchTest, TwoOrMoreArgumentsRunTheNamedProgramInTheWorkFolder) {
    Pack({{L"run.bat", kRunBat}, {L"payload.txt", "p"}});
    const std::wstring record = temp + L"probe.txt";
    const RunResult run = Run(Quote(ProbePath()) + L" /x  \"a b\"   /y ",
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
    const RunResult run = Run(L"C:\\no\\such\\setup.exe /q", {}, 30000);
    ASSERT_TRUE(run.finished) << "a dialog would keep the launcher from ending";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_EQ(Text(WorkFolder() + L"payload.txt"), "kept");
}

TEST_F(LaunchTest, ALauncherWithoutAPackageStartsNothing) {
    // The bare launcher: no trailer to be found, nothing unpacked, so no run.bat of its own
    // to start the interpreter on.
    ASSERT_TRUE(CopyFileW(LauncherPath().c_str(), package.c_str(), FALSE));
    const RunResult run = Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::wstring> m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_NE(std::find(m.begin(), m.end(), L"[CUnPack::FindHeader] Sign Size:0"), m.end());
    EXPECT_EQ(m.back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_FALSE(FileExists(temp + L"unpack.log.txt"));
}

}  // namespace
