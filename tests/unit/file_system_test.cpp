#include <gtest/gtest.h>

#include "support/test_folder.h"
#include "support/unix_link.h"
#include "util/file_system.h"

namespace {

void MakeTree(const std::wstring& root) {
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\a").c_str(), nullptr);
    CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr);
    CreateDirectoryW((root + L"\\c").c_str(), nullptr);
    WriteText(root + L"\\top.txt", "t");
    WriteText(root + L"\\a\\one.txt", "1");
    WriteText(root + L"\\a\\b\\two.txt", "2");
    WriteText(root + L"\\c\\three.txt", "3");
}

}  // namespace

TEST(StripPathLevelsTest, CutsTrailingComponents) {
    const struct {
        const wchar_t* path;
        int count;
        const wchar_t* result;
    } cases[] = {
        {L"C:\\Temp\\unpack", 1, L"C:\\Temp"},
        {L"C:\\Temp\\unpack\\", 1, L"C:\\Temp\\unpack"},
        {L"C:\\Temp\\unpack", 2, L"C:"},
        {L"C:\\Temp\\unpack", 5, L"C:"},
        {L"unpack", 1, L"unpack"},
        {L"", 1, L""},
        {L"C:\\Temp\\unpack", 0, L"C:\\Temp\\unpack"},
    };
    for (const auto& c : cases) {
        std::wstring path = c.path;
        StripPathLevels(path, c.count);
        EXPECT_EQ(path, c.result) << Narrow(c.path) << " x" << c.count;
    }
}

TEST(MountPointGuardTest, LooksOnlyAtPathsNamingProgramDataAsWritten) {
    EXPECT_TRUE(IsGuardedPath(L"C:\\ProgramData\\x"));
    EXPECT_TRUE(IsGuardedPath(L"D:\\backup\\ProgramDataOld\\y"));
    EXPECT_FALSE(IsGuardedPath(L"C:\\programdata\\x"));
    EXPECT_FALSE(IsGuardedPath(L"C:\\PROGRAMDATA\\x"));
    EXPECT_FALSE(IsGuardedPath(L"C:\\Program Files\\x"));
    EXPECT_TRUE(IsMountPointTag(0xA0000003));   // junction or volume mount point
    EXPECT_FALSE(IsMountPointTag(0xA000000C));  // symbolic link
    EXPECT_FALSE(IsMountPointTag(0));
}

TEST(MountPointGuardTest, AFolderThatIsNoReparsePointIsNoMountPoint) {
    TestFolder folder;
    const std::wstring guarded = folder / L"ProgramData";
    ASSERT_TRUE(CreateDirectoryW(guarded.c_str(), nullptr));
    EXPECT_FALSE(IsMountPoint(guarded));
    EXPECT_TRUE(SafeRemoveDirectory(guarded));
    EXPECT_FALSE(FileExists(guarded));
}

TEST(SafeDeleteTest, MissingPathsCountAsDeleted) {
    TestFolder folder;
    EXPECT_TRUE(SafeDeleteFile(folder / L"none.txt"));
    EXPECT_TRUE(SafeRemoveDirectory(folder / L"none"));
}

TEST(SafeDeleteTest, ReadOnlyFilesAndFullFoldersStay) {
    TestFolder folder;
    const std::wstring file = folder / L"ro.txt";
    ASSERT_TRUE(WriteText(file, "keep"));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(SafeDeleteFile(file));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(SafeRemoveDirectory(folder.Path()));
}

TEST(DeleteFolderTreeTest, DeletesEverythingBelowAndTheFolder) {
    TestFolder folder;
    for (const wchar_t* suffix : {L"", L"\\"}) {
        const std::wstring root = folder / L"tree";
        MakeTree(root);
        DeleteFolderTree(root + suffix);
        EXPECT_FALSE(FileExists(root)) << "suffix '" << Narrow(suffix) << "'";
    }
}

TEST(DeleteFolderTreeTest, AReadOnlyFileKeepsItselfAndTheFoldersAboveIt) {
    TestFolder folder;
    const std::wstring root = folder / L"tree";
    MakeTree(root);
    SetFileAttributesW((root + L"\\a\\b\\two.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFolderTree(root);
    EXPECT_TRUE(FileExists(root + L"\\a\\b\\two.txt"));
    EXPECT_FALSE(FileExists(root + L"\\a\\one.txt"));
    EXPECT_FALSE(FileExists(root + L"\\c"));
    EXPECT_FALSE(FileExists(root + L"\\top.txt"));
}

TEST(DeleteFolderTreeTest, AnEmptyPathIsRefused) {
    TestFolder folder;
    WriteText(folder / L"stays.txt", "s");
    wchar_t saved[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryW(folder.Path().c_str());
    DeleteFolderTree(L"");
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(FileExists(folder / L"stays.txt"));
}

// The target of a planted link lies outside the tree: it is never entered. A link to a
// file looks like a plain file under Wine 8 (and its DeleteFileW deletes the target), but
// the handle opened on it ends up outside the tree, so it is left alone.
TEST(DeleteFolderTreeTest, LinksAreNeverFollowed) {
    TestFolder folder;
    const std::wstring target = folder / L"precious";
    MakeTree(target);
    const std::wstring root = folder / L"tree";
    MakeTree(root);
    ASSERT_TRUE(PlantUnixSymlink(target, root + L"\\a\\link"));
    ASSERT_NE(GetFileAttributesW((root + L"\\a\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    ASSERT_TRUE(PlantUnixSymlink(target + L"\\top.txt", root + L"\\c\\filelink"));

    DeleteFolderTree(root);
    for (const wchar_t* kept : {L"\\top.txt", L"\\a\\one.txt", L"\\a\\b\\two.txt", L"\\c\\three.txt"}) {
        EXPECT_TRUE(FileExists(target + kept)) << Narrow(kept);
    }
    EXPECT_FALSE(FileExists(root + L"\\c\\three.txt")) << "the plain files beside the link go";

    // The same when the folder given is itself the link.
    const std::wstring topLink = folder / L"toplink";
    ASSERT_TRUE(PlantUnixSymlink(target, topLink));
    DeleteFolderTree(topLink);
    EXPECT_TRUE(FileExists(target + L"\\a\\b\\two.txt"));
    RemoveUnixLink(topLink);
    RemoveUnixLink(root + L"\\a\\link");
    RemoveUnixLink(root + L"\\c\\filelink");
}

TEST(ModulePathTest, IsTheFullPathOfTheExecutable) {
    const std::wstring path = GetModulePath();
    EXPECT_EQ(path, BinaryFolder() + L"unit_tests.exe");
    EXPECT_TRUE(PathExists(path));
}
