#include <gtest/gtest.h>

#include <regex>

#include "framework/file.h"
#include "support/test_folder.h"
#include "util/log.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    TestFolder folder;
    ScopedTempDirectory temp{folder.Path()};
    std::wstring LogPath() const { return folder / L"unpack.log"; }
    std::vector<std::wstring> Lines() const { return SplitLines(ReadUtf16(LogPath())); }
    // The message part of a line: after "[pid]stamp  ", before " (Last=n)".
    static std::wstring Message(const std::wstring& line) {
        const size_t start = line.find(L"  ") + 2;
        return line.substr(start, line.rfind(L" (Last=") - start);
    }
};

TEST_F(LogTest, PathIsInTheTemporaryDirectory) {
    EXPECT_EQ(GetLogFilePath(), LogPath());
}

TEST_F(LogTest, LinesAreUtf16WithoutByteOrderMarkAndEndInCrLf) {
    WriteLog(L"[%s] first", L"T::A");
    WriteLog(L"[%s] second %d", L"T::B", 7);
    const std::vector<uint8_t> bytes = ReadBytes(LogPath());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0x5B);
    EXPECT_EQ(bytes[1], 0x00);
    const std::vector<uint8_t> tail(bytes.end() - 4, bytes.end());
    EXPECT_EQ(tail, (std::vector<uint8_t>{0x0D, 0x00, 0x0A, 0x00}));

    const std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::wregex shape(LR"(\[(\d+)\]\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  \[T::B\] second 7 \(Last=-?\d+\))");
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(lines[1], match, shape)) << Narrow(lines[1]);
    EXPECT_EQ(std::stoul(match[1].str()), GetCurrentProcessId());
}

TEST_F(LogTest, LaterLinesAppendAndNothingIsRemoved) {
    WriteLog(L"[%s] one", L"T::A");
    const std::vector<uint8_t> before = ReadBytes(LogPath());
    WriteLog(L"[%s] two", L"T::A");
    const std::vector<uint8_t> after = ReadBytes(LogPath());
    ASSERT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_EQ(Message(Lines()[1]), L"[T::A] two");
}

// The formatter must be the Windows one: "%s" takes a wide string, "%lld" a 64-bit number.
// The C99 formatter would read "%s" as a narrow string and print only the first letter.
TEST_F(LogTest, FormatsTheWindowsWay) {
    WriteLog(L"[%s] %s|%lld|%08X|%d", L"T::Fmt", L"wide text", 1099511627776LL, 0xABCu, -5);
    EXPECT_EQ(Message(Lines()[0]), L"[T::Fmt] wide text|1099511627776|00000ABC|-5");
}

TEST_F(LogTest, NonAsciiTextIsStoredAsUtf16CodeUnits) {
    WriteLog(L"[%s] %s", L"T::A", L"Gr\u00FC\u00DFe \u65E5\u672C \u0416");
    EXPECT_EQ(Message(Lines()[0]), L"[T::A] Gr\u00FC\u00DFe \u65E5\u672C \u0416");
    const std::vector<uint8_t> bytes = ReadBytes(LogPath());
    const uint8_t nihon[] = {0xE5, 0x65, 0x2C, 0x67};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), nihon, nihon + 4), bytes.end());
}

TEST_F(LogTest, MessagesAreKeptWholeUpTo1022CharactersAndCutBeyond) {
    const std::wstring exact(1022 - 6, L'x');  // "[T::A]" is six characters
    WriteLog(L"[%s]%s", L"T::A", exact.c_str());
    const std::wstring longer(3000, L'y');
    WriteLog(L"[%s]%s", L"T::A", longer.c_str());
    const std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Message(lines[0]), L"[T::A]" + exact);
    EXPECT_EQ(Message(lines[1]), L"[T::A]" + std::wstring(1016, L'y'));
    EXPECT_NE(lines[1].find(L" (Last="), std::wstring::npos);
}

TEST_F(LogTest, LastShowsTheCallersCodeThenWhatTheFileOperationsLeft) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    WriteLog(L"[%s] a", L"T::A");
    WriteLog(L"[%s] b", L"T::A");
    WriteLog(L"[%s] c", L"T::A");  // b opened the file that a had made: that leaves 183
    const std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(L"(Last=2)"), std::wstring::npos) << Narrow(lines[0]);
    EXPECT_NE(lines[2].find(L"(Last=183)"), std::wstring::npos) << Narrow(lines[2]);
}

TEST_F(LogTest, LineIsDroppedWhileAnotherHandleHoldsTheFile) {
    WriteLog(L"[%s] before", L"T::A");
    const std::vector<uint8_t> before = ReadBytes(LogPath());
    HANDLE reader = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    WriteLog(L"[%s] while held", L"T::A");
    CloseHandle(reader);
    EXPECT_EQ(ReadBytes(LogPath()), before);
    WriteLog(L"[%s] after", L"T::A");
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(LogTest, NeverAppendsThroughAHardLink) {
    const std::wstring victim = folder / L"victim.txt";
    ASSERT_TRUE(WriteText(victim, "precious"));
    ASSERT_TRUE(CreateHardLinkW(LogPath().c_str(), victim.c_str(), nullptr));
    WriteLog(L"[%s] aimed elsewhere", L"T::A");
    const std::vector<uint8_t> content = ReadBytes(victim);
    EXPECT_EQ(std::string(content.begin(), content.end()), "precious");
}

}  // namespace

// The description texts of the file errors, as the log shows them.
TEST(FileExceptionTest, LogsTheTemplateOfEachCauseWithTheFileName) {
    TestFolder folder;
    ScopedTempDirectory temp(folder.Path());
    const struct {
        int cause;
        const wchar_t* text;
    } cases[] = {
        {0, L"No error occurred."},
        {1, L"An unknown error occurred while accessing C:\\f.bin."},
        {2, L"C:\\f.bin was not found."},
        {3, L"C:\\f.bin contains an incorrect path."},
        {4, L"Could not open C:\\f.bin because there are too many open files."},
        {5, L"Access to C:\\f.bin was denied."},
        {6, L"An incorrect file handle was associated with C:\\f.bin."},
        {7, L"Could not remove C:\\f.bin because it is the current directory."},
        {8, L"Could not create C:\\f.bin because the directory is full."},
        {9, L"Seek failed on C:\\f.bin"},
        {10, L"Encountered a hardware I/O error while accessing C:\\f.bin."},
        {11, L"Encountered a sharing violation while accessing C:\\f.bin."},
        {12, L"Encountered a locking violation while accessing C:\\f.bin."},
        {13, L"Disk full while accessing C:\\f.bin."},
        {14, L"Attempted to access C:\\f.bin past its end."},
    };
    for (const auto& c : cases) CUtility::FileException(CFileError(c.cause, 0, L"C:\\f.bin"));
    CUtility::FileException(CFileError(CFileError::fileNotFound, 2, L""));
    CUtility::FileException(CFileError(15, 0, L"C:\\f.bin"));  // no template: no line

    const std::vector<std::wstring> lines = SplitLines(ReadUtf16(folder / L"unpack.log"));
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_NE(lines[i].find(L"  [CUtility::FileException] " + std::wstring(cases[i].text) + L" (Last="),
                  std::wstring::npos)
            << Narrow(lines[i]);
    }
    EXPECT_NE(lines.back().find(L"] an unnamed file was not found. (Last="), std::wstring::npos);
}
