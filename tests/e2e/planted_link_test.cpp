// Links planted in a shared temporary folder by another account: the launcher must
// neither delete through them nor unpack into what they point at.
#include <gtest/gtest.h>

#include "support/launcher_fixture.h"
#include "support/unix_link.h"

namespace {

class PlantedLinkTest : public LauncherFixture {
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
    }

    void ExpectTargetUntouched() {
        EXPECT_EQ(ReadBytes(target + L"\\config.sys").size(), 8u) << "overwritten through the link";
        EXPECT_TRUE(FileExists(target + L"\\run.bat"));
        EXPECT_TRUE(FileExists(target + L"\\drivers\\disk.sys"));
    }
};

TEST_F(PlantedLinkTest, APlantedWorkFolderIsNotEmptiedAndNotUnpackedInto) {
    PackWith("@echo off\r\n");
    ASSERT_TRUE(PlantUnixSymlink(target, temp + L"unpack"));
    const RunResult run = Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    ExpectTargetUntouched();
    EXPECT_FALSE(FileExists(temp + L"planted-ran.txt")) << "the planted run.bat was started";
    const std::vector<std::wstring> m = Messages();
    EXPECT_EQ(m.back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_NE(std::find(m.begin(), m.end(),
                        L"[CUtility::FileException] Access to " + temp + L"unpack\\config.sys was denied."),
              m.end());
}

TEST_F(PlantedLinkTest, ALinkPlantedInsideTheWorkFolderIsNotFollowedByTheCleanUp) {
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

}  // namespace
