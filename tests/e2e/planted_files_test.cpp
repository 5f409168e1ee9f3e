// Files, folders and links planted in the shared temporary folder by another account, and
// package names the platform would rewrite: the launcher must neither delete, write or
// unpack through them, nor start anything it did not unpack itself in this run.
#include <gtest/gtest.h>

#include <regex>

#include "common/raw_package.h"
#include "framework/handles.h"
#include "registry/product_key.h"
#include "support/launcher_fixture.h"
#include "support/registry_fixture.h"
#include "support/unix_link.h"

namespace {

using sfxtest::RawPackage;

class PlantedFilesTest : public LauncherFixture {
protected:
    std::wstring target = root / L"system";

    void SetUp() override {
        LauncherFixture::SetUp();
        CreateDirectoryW(target.c_str(), nullptr);
        CreateDirectoryW((target + L"\\drivers").c_str(), nullptr);
        WriteText(target + L"\\config.sys", "precious");
        WriteText(target + L"\\run.bat", "@echo planted > \"%TEMP%\\planted-ran.txt\"\r\n");
        WriteText(target + L"\\drivers\\disk.sys", "driver");
    }

    void PackWith(const std::string& runBat) { Pack({{L"run.bat", runBat}, {L"config.sys", "from the package"}}); }

    void TearDown() override {
        RemoveUnixLink(temp + L"unpack\\planted");
        RemoveUnixLink(temp + L"unpack");
        RemoveUnixLink(temp + L"unpack.log.txt");
        RemoveCompanyKeys();
    }

    // The genuine batch leaves its mark; the planted one would leave another.
    static constexpr const char* kGenuineRunBat = "@echo genuine\r\n@echo ran> \"%TEMP%\\genuine-ran.txt\"\r\n";
    // A package with an entry that could not be written starts nothing, its own run.bat
    // included: the refused names are what the test is about.
    void ExpectNothingRanAfterRefusals() {
        EXPECT_FALSE(FileExists(temp + L"genuine-ran.txt")) << "run.bat ran with entries missing";
        EXPECT_FALSE(FileExists(temp + L"planted-ran.txt")) << "a planted run.bat was started";
        EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    }
    void ExpectGenuineRanAlone() {
        EXPECT_TRUE(FileExists(temp + L"genuine-ran.txt")) << "the package's own run.bat did not run";
        EXPECT_FALSE(FileExists(temp + L"planted-ran.txt")) << "a planted run.bat was started";
    }
    StoredValue Status() const { return ReadValue(HKEY_LOCAL_MACHINE, kProductKeyPath, L"CloudAutoUpdateStatus"); }
    void PackRaw(RawPackage& raw) { ASSERT_TRUE(WriteBytes(package, raw.Build())); }

    void ExpectTargetUntouched() {
        EXPECT_EQ(ReadBytes(target + L"\\config.sys").size(), 8u) << "overwritten through the link";
        EXPECT_TRUE(FileExists(target + L"\\run.bat"));
        EXPECT_TRUE(FileExists(target + L"\\drivers\\disk.sys"));
    }
};

// A leftover "unpack" that cannot be removed is never used: a fresh folder of our own beside
// it takes the run, and what the leftover holds is neither emptied through nor started.
TEST_F(PlantedFilesTest, ALeftoverWorkFolderThatCannotGoIsPassedOver) {
    Pack({{L"run.bat", kGenuineRunBat}, {L"config.sys", "from the package"}});
    const std::wstring notice = L"[CUnPack::GetWorkFolder] " + temp + L"unpack could not be made afresh, work folder:";
    // The spare folder the run names in the log; empty when it names none.
    auto spareFolder = [&] {
        for (const std::wstring& m : Messages()) {
            if (m.rfind(notice, 0) == 0) return m.substr(notice.size());
        }
        return std::wstring();
    };
    {
        SCOPED_TRACE("a link to a folder elsewhere");
        ASSERT_TRUE(PlantUnixSymlink(target, temp + L"unpack"));
        const RunResult run = Run();
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        ExpectTargetUntouched();
        ExpectGenuineRanAlone();
        const std::wstring spare = spareFolder();
        ASSERT_FALSE(spare.empty()) << "no spare folder was logged";
        EXPECT_FALSE(FileExists(spare)) << "our own folder is removed after the run";
        RemoveUnixLink(temp + L"unpack");
    }
    {
        SCOPED_TRACE("a folder whose run.bat another process holds open");
        DeleteFileW((temp + L"genuine-ran.txt").c_str());
        CreateDirectoryW((temp + L"unpack").c_str(), nullptr);
        WriteText(temp + L"unpack\\run.bat", "@echo planted > \"%TEMP%\\planted-ran.txt\"\r\n");
        UniqueHandle held(CreateFileW((temp + L"unpack\\run.bat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        ASSERT_TRUE(Run().finished);
        ExpectGenuineRanAlone();
        EXPECT_EQ(Text(temp + L"unpack\\run.bat").rfind("@echo planted", 0), 0u);
    }
}

// Without a run.bat of its own the interpreter would search the path for one.
TEST_F(PlantedFilesTest, WithoutItsOwnRunBatNothingIsStartedAndTheRunFails) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
    const std::wstring onPath = root / L"path";
    CreateDirectoryW(onPath.c_str(), nullptr);
    WriteText(onPath + L"\\run.bat", "@echo planted > \"%TEMP%\\planted-ran.txt\"\r\n");
    const EnvOverrides path = {{L"PATH", onPath + L";C:\\windows\\system32;C:\\windows"}};
    const struct {
        const char* what;
        bool withPackage;
    } cases[] = {{"a package without run.bat", true}, {"no package at all", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.withPackage) {
            Pack({{L"settings.ini", "[s]\r\n"}});
        } else {
            ASSERT_TRUE(CopyFileW(LauncherPath().c_str(), package.c_str(), FALSE));
        }
        ASSERT_TRUE(Run(L"", path).finished);
        EXPECT_FALSE(FileExists(temp + L"planted-ran.txt"));
        EXPECT_EQ(Status().AsDword(), 999u);
        const std::vector<std::wstring> m = Messages();
        ASSERT_GE(m.size(), 2u);
        EXPECT_EQ(m[m.size() - 2], L"[CUnPackFileApp::InitInstance] run.bat not unpacked into:" + WorkFolder());
        EXPECT_EQ(m.back(), L"[CUnPackFileApp::InitInstance] execute fail");
        DeleteFileW((temp + L"unpack.log").c_str());
    }
}

// The batch output file beside the log is made afresh whatever lies under its name; what a
// planted link or hard link points at is never truncated or written.
TEST_F(PlantedFilesTest, TheBatchOutputIsAlwaysAFreshFileOfOurOwn) {
    Pack({{L"run.bat", kGenuineRunBat}});
    const std::wstring output = temp + L"unpack.log.txt";
    const std::wstring victim = target + L"\\config.sys";
    enum Plant { kHardLink, kSymlink, kFolder, kReadOnly };
    const struct {
        const char* what;
        Plant plant;
    } cases[] = {{"a hard link", kHardLink}, {"a symbolic link", kSymlink}, {"a folder", kFolder},
                 {"a read-only file", kReadOnly}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        switch (c.plant) {
            case kHardLink: ASSERT_TRUE(CreateHardLinkW(output.c_str(), victim.c_str(), nullptr)); break;
            case kSymlink: ASSERT_TRUE(PlantUnixSymlink(victim, output)); break;
            case kFolder:
                ASSERT_TRUE(CreateDirectoryW(output.c_str(), nullptr));
                ASSERT_TRUE(WriteText(output + L"\\inside.txt", "kept"));
                break;
            case kReadOnly:
                ASSERT_TRUE(WriteText(output, "old output"));
                ASSERT_TRUE(SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_READONLY));
                break;
        }
        ASSERT_TRUE(Run().finished);
        ExpectTargetUntouched();
        ExpectGenuineRanAlone();
        EXPECT_EQ(Text(output), "genuine\r\n");
        const DWORD attributes = GetFileAttributesW(output.c_str());
        EXPECT_EQ(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY), 0u);
        if (c.plant == kFolder) {
            // Moved aside under a new name, with what it held.
            EXPECT_NE(ListFolder(temp).find(L"unpack.log.txt."), std::wstring::npos) << Narrow(ListFolder(temp));
        }
        SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveUnixLink(output);
        DeleteFileW(output.c_str());
        DeleteFileW((temp + L"genuine-ran.txt").c_str());
    }
}

// A batch output file that another process holds open cannot be replaced: the output goes
// to a fresh file of our own beside it, named in the log, rather than the update being
// blocked for as long as the file is held.
TEST_F(PlantedFilesTest, AHeldBatchOutputFileIsPassedOver) {
    Pack({{L"run.bat", kGenuineRunBat}});
    const std::wstring output = temp + L"unpack.log.txt";
    ASSERT_TRUE(WriteText(output, "held"));
    UniqueHandle held(CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    ASSERT_TRUE(Run().finished);
    held.Reset();
    ExpectGenuineRanAlone();
    EXPECT_EQ(Text(output), "held");

    const std::wstring prefix = L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:" + ExpectedInterpreter() +
                                L" param:/D /E:ON /V:OFF /c run.bat > \"" + temp + L"unpack.log.";
    std::wstring spare;
    for (const std::wstring& m : Messages()) {
        if (m.rfind(prefix, 0) == 0) spare = m.substr(prefix.size() - wcslen(L"unpack.log."));
    }
    ASSERT_TRUE(std::regex_match(spare, std::wregex(LR"(unpack\.log\.[0-9A-F]{8}\.txt")"))) << Narrow(spare);
    spare.pop_back();
    EXPECT_EQ(Text(temp + spare), "genuine\r\n");
}

TEST_F(PlantedFilesTest, ALinkPlantedInsideTheWorkFolderIsNotFollowedByTheCleanUp) {
    // The installation itself plants the link, through Wine's start of a Unix program, and
    // waits (boundedly) until it is there.
    const std::string link = UnixPath(temp + L"unpack") + "/planted";
    PackWith("@echo off\r\n"
         "start /unix /bin/ln -s \"" + UnixPath(target) + "\" \"" + link + "\"\r\n"
         "set n=0\r\n"
         ":wait\r\n"
         "if exist planted goto done\r\n"
         "set /a n+=1\r\n"
         "if %n% lss 3000 goto wait\r\n"
         ":done\r\n"
         "if exist planted\\config.sys echo planted> \"%TEMP%\\planted-ok.txt\"\r\n");
    const RunResult run = Run(L"", {}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(FileExists(temp + L"planted-ok.txt")) << "the link was never planted";
    ExpectTargetUntouched();
}

// Names the platform would turn into another entry's file are refused like a bad path: the
// entry they would overwrite keeps the package's own content.
TEST_F(PlantedFilesTest, NamesThePlatformRewritesDoNotReplaceOtherEntries) {
    // The short alias this file system gives the long name (Windows: INSTAL~1.MSI).
    const std::wstring longName = L"installer-database.msi";
    ASSERT_TRUE(WriteText(root / longName, "x"));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW((root / longName).c_str(), shortPath, MAX_PATH), 0u);
    std::wstring alias = shortPath;
    alias = alias.substr(alias.rfind(L'\\') + 1);
    ASSERT_NE(alias, longName) << "no short names here";

    RawPackage raw(ReadBytes(LauncherPath()));
    raw.Add("run.bat", "@copy /y installer-database.msi \"%TEMP%\\msi-copy.txt\" > nul\r\n" + std::string(kGenuineRunBat))
        .Add(Narrow(longName), "genuine msi")
        .Add("run.bat.", "@echo planted > \"%TEMP%\\planted-ran.txt\"\r\n")
        .Add("run.bat . .", "@echo planted > \"%TEMP%\\planted-ran.txt\"\r\n")
        .Add(Narrow(alias), "planted msi");
    PackRaw(raw);
    ASSERT_TRUE(Run().finished);
    ExpectNothingRanAfterRefusals();
    EXPECT_EQ(Text(WorkFolder() + longName), "genuine msi") << "written over through its short alias";
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] package not unpacked whole: entry 3 not written whole"));
    for (const std::wstring& name : {std::wstring(L"run.bat."), std::wstring(L"run.bat . ."), alias}) {
        EXPECT_TRUE(Logged(L"[CUtility::FileException] " + WorkFolder() + name + L" contains an incorrect path."))
            << Narrow(name);
    }
}

// COM and LPT with a superscript digit are devices too (bytes 0xB9, 0xB2, 0xB3 in code page 1252).
TEST_F(PlantedFilesTest, SuperscriptDeviceNamesAreRefused) {
    if (GetACP() != 1252) GTEST_SKIP() << "the names are 1252 text; this prefix uses code page " << GetACP();
    const std::string names[] = {"COM\xB9", "LPT\xB2.txt", "com\xB3.log", "LPT\xB9"};
    RawPackage raw(ReadBytes(LauncherPath()));
    raw.Add("run.bat", kGenuineRunBat);
    for (const std::string& name : names) raw.Add(name, "to a device");
    PackRaw(raw);
    ASSERT_TRUE(Run().finished);
    ExpectNothingRanAfterRefusals();
    for (const std::string& name : names) {
        wchar_t wide[16] = {};
        MultiByteToWideChar(1252, 0, name.c_str(), -1, wide, 16);
        EXPECT_TRUE(Logged(L"[CUtility::FileException] " + WorkFolder() + wide + L" contains an incorrect path."))
            << name;
    }
}

// The parameters begin after the first argument however the program name is written.
TEST_F(PlantedFilesTest, AQuotedProgramNameDoesNotShiftTheParameters) {
    Pack({{L"run.bat", kGenuineRunBat}});
    const struct {
        const wchar_t* args;
        const wchar_t* logged;
    } cases[] = {{L"a b", L"file:a param:b"}, {L"ab  c d", L"file:ab param:c d"}};
    for (const auto& c : cases) {
        DeleteFileW((temp + L"unpack.log").c_str());
        ASSERT_TRUE(RunProcess(L"\"" + package + L"\" " + c.args, {{L"TMP", temp}, {L"TEMP", temp}}).finished);
        EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" " + c.logged))
            << Narrow(c.args);
    }
}

}  // namespace
