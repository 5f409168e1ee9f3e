// A signed package unpacks and runs exactly as the unsigned one it was made from. The
// signing happens on the build machine (scripts/test-signed-package.sh), which names the
// folder holding both files in SFX_SIGNED_DIR.
#include <gtest/gtest.h>

#include "common/raw_package.h"
#include "support/launcher_fixture.h"

namespace {

using sfxtest::PeOffset;
using sfxtest::SecurityDirSizeOffset;

class SignedPackageTest : public LauncherFixture {
protected:
    std::wstring signedDir;
    void SetUp() override {
        LauncherFixture::SetUp();
        wchar_t dir[MAX_PATH + 1] = {};
        if (GetEnvironmentVariableW(L"SFX_SIGNED_DIR", dir, MAX_PATH) == 0) {
            GTEST_SKIP() << "run through scripts/test-signed-package.sh, which signs the package";
        }
        signedDir = std::wstring(dir) + L"\\";
    }

    // Messages of one run of file, without the line that names the file itself.
    std::vector<std::wstring> RunOnce(const std::wstring& file) {
        RemoveTree(temp);
        CreateDirectoryW(temp.c_str(), nullptr);
        const RunResult run = RunLauncher(file, temp);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(Text(temp + L"payload-copy.txt"), "signed or not, the same bytes\r\n") << Narrow(file);
        EXPECT_FALSE(FileExists(WorkFolder()));
        std::vector<std::wstring> m = Messages();
        m.erase(std::remove_if(m.begin(), m.end(),
                               [](const std::wstring& line) {
                                   return line.rfind(L"[CUnPack::FindHeader] Name:", 0) == 0 ||
                                          line.find(L"FreeSpace:") != std::wstring::npos ||
                                          line.find(L"execute succ") != std::wstring::npos ||
                                          line.find(L"execute wait pid:") != std::wstring::npos;
                               }),
                m.end());
        return m;
    }
};

TEST_F(SignedPackageTest, UnpacksAndRunsExactlyAsTheUnsignedOne) {
    const std::vector<uint8_t> signedBytes = ReadBytes(signedDir + L"signed.exe");
    ASSERT_FALSE(signedBytes.empty());
    uint32_t tableSize = 0;
    memcpy(&tableSize, signedBytes.data() + PeOffset(signedBytes) + SecurityDirSizeOffset(signedBytes), 4);
    ASSERT_GT(tableSize, 0u);

    std::vector<std::wstring> unsignedRun = RunOnce(signedDir + L"unsigned.exe");
    std::vector<std::wstring> signedRun = RunOnce(signedDir + L"signed.exe");
    ASSERT_EQ(unsignedRun.size(), signedRun.size());
    for (size_t i = 0; i < signedRun.size(); ++i) {
        if (signedRun[i].rfind(L"[CUnPack::FindHeader] Sign Size:", 0) == 0) {
            EXPECT_EQ(signedRun[i], L"[CUnPack::FindHeader] Sign Size:" + std::to_wstring(tableSize));
            EXPECT_EQ(unsignedRun[i], L"[CUnPack::FindHeader] Sign Size:0");
            continue;
        }
        EXPECT_EQ(signedRun[i], unsignedRun[i]);
    }
}

}  // namespace
