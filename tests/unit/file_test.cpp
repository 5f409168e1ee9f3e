#include <gtest/gtest.h>

#include "framework/file.h"
#include "support/test_folder.h"

TEST(FileErrorTest, SystemCodesMapToTheirCauses) {
    const struct {
        LONG os;
        int cause;
    } cases[] = {
        {ERROR_SUCCESS, CFileError::none},
        {ERROR_FILE_NOT_FOUND, CFileError::fileNotFound},
        {ERROR_PATH_NOT_FOUND, CFileError::badPath},
        {ERROR_INVALID_NAME, CFileError::badPath},
        {ERROR_TOO_MANY_OPEN_FILES, CFileError::tooManyOpenFiles},
        {ERROR_ACCESS_DENIED, CFileError::accessDenied},
        {ERROR_SHARING_VIOLATION, CFileError::sharingViolation},
        {ERROR_LOCK_VIOLATION, CFileError::lockViolation},
        {ERROR_DISK_FULL, CFileError::diskFull},
        {ERROR_HANDLE_DISK_FULL, CFileError::diskFull},
        {ERROR_HANDLE_EOF, CFileError::endOfFile},
        {ERROR_NOT_SUPPORTED, CFileError::genericException},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CFileError::CauseFromOsError(c.os), c.cause) << "system code " << c.os;
    }
}

TEST(FileErrorTest, DescriptionIsCutToTheBuffer) {
    const CFileError error(CFileError::fileNotFound, 2, L"C:\\some\\file.txt");
    wchar_t small[8];
    ASSERT_TRUE(error.GetErrorMessage(small, 8));
    EXPECT_STREQ(small, L"C:\\some");
    EXPECT_FALSE(error.GetErrorMessage(small, 0));
}

TEST(FileTest, FailedOpenFillsTheRecordWithCauseCodeAndName) {
    TestFolder folder;
    CFile file;
    CFileError error;
    const std::wstring missing = folder / L"missing.bin";
    EXPECT_FALSE(file.Open(missing, GENERIC_READ, 0, OPEN_EXISTING, &error));
    EXPECT_EQ(error.m_cause, CFileError::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.m_strFileName, missing);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Wine itself accepts such a path, so a file that does not appear proves the platform was
// never asked.
TEST(FileTest, PathsOf260CharactersOrMoreAreRefusedWithoutAskingThePlatform) {
    TestFolder folder;
    for (size_t length : {size_t{260}, size_t{300}}) {
        const std::wstring path = folder.Path() + std::wstring(length - folder.Path().size(), L'n');
        ASSERT_EQ(path.size(), length);
        CFile file;
        CFileError error;
        EXPECT_FALSE(file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, &error));
        EXPECT_EQ(error.m_cause, CFileError::badPath);
        EXPECT_FALSE(FileExists(path));
    }
    const std::wstring fits = folder.Path() + std::wstring(259 - folder.Path().size(), L'k');
    CFile file;
    EXPECT_TRUE(file.Open(fits, GENERIC_WRITE, 0, CREATE_ALWAYS, nullptr));
}
