#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <thread>

#include "package/unpack.h"
#include "support/test_folder.h"
#include "support/unix_link.h"
#include "util/file_system.h"
#include "util/folder_security.h"
#include "util/system_paths.h"

#include <regex>

namespace {

class WorkFolderTest : public ::testing::Test {
protected:
    TestFolder root;
    std::wstring temp = root / L"tmp\\";
    std::wstring expected = temp + L"unpack\\";
    wchar_t savedDirectory[MAX_PATH + 1] = {};

    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, savedDirectory);
    }
    void TearDown() override { SetCurrentDirectoryW(savedDirectory); }

    static std::wstring CurrentDirectory() {
        wchar_t path[MAX_PATH + 1] = {};
        GetCurrentDirectoryW(MAX_PATH, path);
        return path;
    }
    std::wstring TempWithoutSlash() const { return temp.substr(0, temp.size() - 1); }
};

TEST_F(WorkFolderTest, IsCreatedFreshAndKeptForTheObjectsLife) {
    ScopedTempDirectory scoped(temp);
    CreateDirectoryW(expected.c_str(), nullptr);
    CreateDirectoryW((expected + L"old").c_str(), nullptr);
    WriteText(expected + L"old\\leftover.txt", "old");
    WriteText(expected + L"run.bat", "old");

    CUnPack unpacker;
    EXPECT_EQ(unpacker.GetWorkFolder(), expected);
    EXPECT_TRUE(FileExists(expected));
    EXPECT_FALSE(FileExists(expected + L"old"));
    EXPECT_FALSE(FileExists(expected + L"run.bat"));
    // The leftover's removal moved the current directory to the temporary directory.
    EXPECT_EQ(CurrentDirectory(), TempWithoutSlash());

    unpacker.RemoveWorkFolder();
    EXPECT_FALSE(FileExists(expected));
    EXPECT_EQ(CurrentDirectory(), TempWithoutSlash());
    EXPECT_EQ(unpacker.GetWorkFolder(), expected);
    EXPECT_FALSE(FileExists(expected)) << "a removed folder is not made again";
}

TEST_F(WorkFolderTest, RemovalBeforeAnyPathDoesNothing) {
    ScopedTempDirectory scoped(temp);
    SetCurrentDirectoryW(root.Path().c_str());
    const std::wstring before = CurrentDirectory();
    CUnPack().RemoveWorkFolder();
    EXPECT_EQ(CurrentDirectory(), before);
}

// A leftover that cannot go is someone else's: after about two seconds of retries a fresh
// folder beside it is made and used, under a name nobody could have planted ahead.
TEST_F(WorkFolderTest, ALeftoverThatCannotGoIsRetriedAboutTwoSecondsThenPassedOver) {
    ScopedTempDirectory scoped(temp);
    CreateDirectoryW(expected.c_str(), nullptr);
    WriteText(expected + L"locked.txt", "ro");
    WriteText(expected + L"other.txt", "x");
    SetFileAttributesW((expected + L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    CUnPack unpacker;
    const DWORD start = GetTickCount();
    const std::wstring spare = unpacker.GetWorkFolder();
    const DWORD elapsed = GetTickCount() - start;
    ASSERT_TRUE(std::regex_match(spare.substr(temp.size()), std::wregex(LR"(unpack\.[0-9A-F]{8}\\)")))
        << Narrow(spare);
    EXPECT_GE(elapsed, 1900u);  // 20 retries, each followed by 100 ms
    EXPECT_LT(elapsed, 4000u);
    EXPECT_TRUE(unpacker.OwnsWorkFolder());
    EXPECT_TRUE(FileExists(expected + L"locked.txt"));
    EXPECT_FALSE(FileExists(expected + L"other.txt"));
    // Held from its creation on: it cannot be renamed away and replaced.
    EXPECT_FALSE(MoveFileExW(WithoutTrailingBackslashes(spare).c_str(), (temp + L"moved").c_str(), 0));

    SetCurrentDirectoryW(root.Path().c_str());
    unpacker.RemoveWorkFolder();
    EXPECT_FALSE(PathExists(spare));
    EXPECT_TRUE(FileExists(expected + L"locked.txt"));
    EXPECT_EQ(CurrentDirectory(), TempWithoutSlash());
}

// The console host of an ended program holds the folder for a moment, as an open handle
// without delete sharing does: the removal waits for it, but not much beyond two seconds.
TEST_F(WorkFolderTest, AHeldFolderGoesOnceLetGoAndIsGivenUpAfterAboutTwoSeconds) {
    ScopedTempDirectory scoped(temp);
    CUnPack unpacker;
    ASSERT_EQ(unpacker.GetWorkFolder(), expected);
    auto hold = [&] {
        return CreateFileW(expected.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };

    HANDLE forGood = hold();
    ASSERT_NE(forGood, INVALID_HANDLE_VALUE);
    ASSERT_FALSE(RemoveDirectoryW(expected.c_str()));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const DWORD start = GetTickCount();
    unpacker.RemoveWorkFolder();
    const DWORD elapsed = GetTickCount() - start;
    CloseHandle(forGood);
    EXPECT_TRUE(FileExists(expected));
    EXPECT_GE(elapsed, 1900u);
    EXPECT_LT(elapsed, 4000u);

    HANDLE briefly = hold();
    ASSERT_NE(briefly, INVALID_HANDLE_VALUE);
    std::thread release([briefly] {
        Sleep(150);
        CloseHandle(briefly);
    });
    unpacker.RemoveWorkFolder();
    release.join();
    EXPECT_FALSE(FileExists(expected));
}

// A planted "unpack" link in a shared temporary folder: the clean-up must not delete
// through it, and nothing may be unpacked into what it points at.
TEST_F(WorkFolderTest, APlantedLinkIsNeitherEmptiedNorFilled) {
    const std::wstring target = root / L"system";
    CreateDirectoryW(target.c_str(), nullptr);
    WriteText(target + L"\\config.sys", "precious");
    ASSERT_TRUE(PlantUnixSymlink(target, expected));

    ScopedTempDirectory scoped(temp);
    CUnPack unpacker;
    unpacker.GetWorkFolder();
    unpacker.RemoveWorkFolder();
    EXPECT_EQ(ReadBytes(target + L"\\config.sys").size(), 8u);
    RemoveUnixLink(expected);
}

// Wine 8 does not keep a folder's security descriptor (it answers a default made from the
// Unix mode bits), so the list is checked as it is handed to the folder's creation.
TEST(PrivateFolderSecurityTest, AdmitsOnlySystemAndAdministratorsWhoOwnItAndInheritsNothing) {
    CPrivateFolderSecurity security;
    SECURITY_ATTRIBUTES* attributes = security.Attributes();
    ASSERT_NE(attributes, nullptr);
    EXPECT_FALSE(attributes->bInheritHandle);
    PSECURITY_DESCRIPTOR descriptor = attributes->lpSecurityDescriptor;
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing may be inherited from the temporary folder";

    PSID system = nullptr, administrators = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-18", &system));
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-544", &administrators));
    // The owner may always rewrite the list: not the account that started the run.
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted));
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(EqualSid(owner, administrators));

    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 2);
    const PSID expected[] = {system, administrators};
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i])) << "entry " << i;
    }
    LocalFree(system);
    LocalFree(administrators);
}

}  // namespace
