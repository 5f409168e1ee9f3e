#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "app/launch_command.h"
#include "support/test_folder.h"

namespace {

// Splits raw the way the runtime does at process start, then builds the parameters.
std::wstring ParametersFor(const std::wstring& raw) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(raw.c_str(), &argc);
    const std::wstring parameters = BuildArgumentParameters(raw, argc, argv);
    LocalFree(argv);
    return parameters;
}

}  // namespace

TEST(ArgumentParametersTest, FollowTheRawCommandLine) {
    const struct {
        const wchar_t* raw;
        const wchar_t* parameters;
    } cases[] = {
        {L"prog.exe setup.exe /q  x", L"/q x"},
        {L"\"C:\\dir\\prog.exe\" setup.exe /s", L"/s"},
        {L"prog.exe a b", L"b"},
        // leading and trailing blanks go, runs of blanks are halved (odd runs round up)
        {L"prog.exe setup.exe    /a  /b   /c     ", L"/a /b  /c"},
        {L"prog.exe setup.exe a  b   c    d     e", L"a b  c  d   e"},
        // quotation marks stay, and so do the blanks inside them, halved like the rest
        {L"prog.exe setup.exe \"C:\\Program Files\\x  y\" /l", L"\"C:\\Program Files\\x y\" /l"},
        // a quoted first argument moves its closing blank further right
        {L"prog.exe \"setup.exe\" /s", L"/s"},
        // tabs are not blanks and stay at the ends
        {L"prog.exe setup.exe \t/q\t", L"\t/q\t"},
        // a quoted program name with a first argument of one character or none
        {L"\"C:\\dir\\prog.exe\" a b", L"b"},
        {L"\"C:\\dir\\prog.exe\" \"\" b c", L"b c"},
        // the first argument ends where the argument rules end it
        {L"\"C:\\dir\\prog.exe\" \"a b\" c", L"c"},
        {L"prog.exe \"a\\\" b\" c", L"c"},
        {L"prog.exe a\\\\\"b c\" d", L"d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParametersFor(c.raw), c.parameters) << Narrow(c.raw);
    }
}

TEST(ArgumentParametersTest, WithoutABlankAfterTheFirstArgumentTheLaterArgumentsAreJoined) {
    // Tabs separate the arguments: the search finds no blank at or after its start.
    EXPECT_EQ(ParametersFor(L"prog.exe\tsetup.exe\t/q\t/x"), L"/q /x ");
    // A blank only before the search start does not count either.
    const wchar_t* argv[] = {L"p", L"setup.exe", L"x", L"y"};
    EXPECT_EQ(BuildArgumentParameters(L"p setup.exe", 4, argv), L"x y ");
}

TEST(ArgumentParametersTest, ATailOfBlanksOnlyGivesNoParameters) {
    EXPECT_EQ(ParametersFor(L"prog.exe setup.exe    "), L"");
}

// /D: no AutoRun command of the user's hive runs ahead of the batch.
TEST(BatchParametersTest, CaptureTheOutputBesideTheLogWithoutAutoRun) {
    EXPECT_EQ(BuildBatchParameters(L"C:\\T\\unpack.log"), L"/D /E:ON /V:OFF /c run.bat > \"C:\\T\\unpack.log.txt\"");
}

// A bare name comes from the work folder, then the system folder; never from the current
// directory or PATH, where someone else may have put a program of that name.
TEST(ResolveProgramTest, ABareNameIsLookedForInTheWorkAndSystemFoldersOnly) {
    TestFolder work, system, current;
    ASSERT_TRUE(WriteText(work / L"setup.exe", "x"));
    ASSERT_TRUE(WriteText(system / L"tool.exe", "x"));
    ASSERT_TRUE(WriteText(system / L"setup.exe", "x"));
    ASSERT_TRUE(WriteText(current / L"planted.exe", "x"));
    ASSERT_TRUE(CreateDirectoryW((work / L"folder.exe").c_str(), nullptr));
    const std::wstring w = work.Path(), s = system.Path();
    wchar_t before[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    SetCurrentDirectoryW(current.Path().c_str());

    EXPECT_EQ(ResolveProgram(L"setup.exe", w, s), w + L"setup.exe") << "the work folder goes first";
    EXPECT_EQ(ResolveProgram(L"tool.exe", w, s), s + L"tool.exe");
    EXPECT_EQ(ResolveProgram(L"tool", w, s), s + L"tool.exe");
    EXPECT_EQ(ResolveProgram(L"planted.exe", w, s), L"") << "found in the current directory";
    EXPECT_EQ(ResolveProgram(L"folder.exe", w, s), L"") << "a folder is no program";
    EXPECT_EQ(ResolveProgram(L"", w, s), L"");
    EXPECT_EQ(ResolveProgram(L"..", w, s), L"");
    // A name with a folder part is the caller's choice, taken as given.
    EXPECT_EQ(ResolveProgram(L".\\planted.exe", w, s), L".\\planted.exe");
    EXPECT_EQ(ResolveProgram(L"D:tool.exe", w, s), L"D:tool.exe");
    EXPECT_EQ(ResolveProgram(L"sub/tool.exe", w, s), L"sub/tool.exe");
    SetCurrentDirectoryW(before);
}

TEST(ArgumentBranchTest, TakesThreeOrMoreEntries) {
    EXPECT_FALSE(IsArgumentBranch(1));
    EXPECT_FALSE(IsArgumentBranch(2));
    EXPECT_TRUE(IsArgumentBranch(3));
}

TEST(InterpreterPathTest, IsAlwaysAFullPathWhenADirectoryIsKnown) {
    const std::wstring windows = L"C:\\Windows";
    const std::wstring system = L"C:\\Windows\\system32";
    EXPECT_EQ(InterpreterPath(true, windows, system), L"C:\\Windows\\sysnative\\cmd.exe");
    EXPECT_EQ(InterpreterPath(false, windows, system), L"C:\\Windows\\system32\\cmd.exe");
    // A sysnative path that would not fit takes the system directory's interpreter.
    const std::wstring deep = L"C:\\" + std::wstring(240, L'w');
    EXPECT_EQ(InterpreterPath(true, deep, system), L"C:\\Windows\\system32\\cmd.exe");
    const std::wstring fits = L"C:\\" + std::wstring(259 - 3 - 18, L'w');  // + "\sysnative\cmd.exe"
    EXPECT_EQ(InterpreterPath(true, fits, system).size(), 259u);
    EXPECT_EQ(InterpreterPath(true, fits + L"w", system), L"C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(InterpreterPath(false, L"", L""), L"cmd.exe");
}
