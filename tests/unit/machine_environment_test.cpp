// What an elevated run takes from the user's environment and temporary folder, and what it
// takes from the machine instead.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/machine_environment.h"
#include "support/test_folder.h"
#include "support/unix_link.h"
#include "util/system_paths.h"
#include "util/work_temp.h"

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[32767] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 32767);
    return length == 0 ? std::wstring() : std::wstring(value, length);
}

TEST(ExpandFromTableTest, ExpandsKnownNamesAndLeavesTheRestAsWritten) {
    const std::map<std::wstring, std::wstring> table = {{L"SYSTEMROOT", L"C:\\Windows"}, {L"PF", L"C:\\P"}};
    EXPECT_EQ(ExpandFromTable(L"%SystemRoot%\\system32;%SYSTEMROOT%", table), L"C:\\Windows\\system32;C:\\Windows");
    EXPECT_EQ(ExpandFromTable(L"%pf%%pf%", table), L"C:\\PC:\\P");
    EXPECT_EQ(ExpandFromTable(L"%Unknown%\\x", table), L"%Unknown%\\x");
    EXPECT_EQ(ExpandFromTable(L"50% of %PF%", table), L"50% of C:\\P");
    EXPECT_EQ(ExpandFromTable(L"%%PF%", table), L"%C:\\P");
    EXPECT_EQ(ExpandFromTable(L"open %", table), L"open %");
}

// The user's environment may name its own interpreter, Windows folder or search path; the
// launched program gets the machine's, and everything else as it was.
TEST(MachineVariablesTest, ReplaceWhatTheUserSetAndLeaveTheRest) {
    const wchar_t* const poisoned[] = {L"windir", L"SystemRoot", L"ComSpec", L"Path", L"PATHEXT", L"ProgramFiles",
                                       L"ProgramData", L"CommonProgramFiles"};
    std::map<std::wstring, std::wstring> saved;
    for (const wchar_t* name : poisoned) {
        saved[name] = Variable(name);
        SetEnvironmentVariableW(name, L"C:\\planted");
    }
    SetEnvironmentVariableW(L"SFX_PASSES_THROUGH", L"kept");

    ApplyMachineVariables();
    const std::wstring systemRoot = GetSystemWindowsDirectoryPath();
    EXPECT_EQ(Variable(L"windir"), systemRoot);
    EXPECT_EQ(Variable(L"SystemRoot"), systemRoot);
    EXPECT_EQ(Variable(L"ComSpec").find(systemRoot), 0u) << Narrow(Variable(L"ComSpec"));
    EXPECT_NE(Variable(L"ComSpec").find(L"cmd.exe"), std::wstring::npos);
    std::wstring extensions = Variable(L"PATHEXT");
    CharUpperBuffW(&extensions[0], static_cast<DWORD>(extensions.size()));
    EXPECT_NE(extensions.find(L".BAT"), std::wstring::npos) << Narrow(extensions);
    for (const wchar_t* name : poisoned) {
        EXPECT_EQ(Variable(name).find(L"planted"), std::wstring::npos) << Narrow(name);
        EXPECT_EQ(Variable(name).find(L'%'), std::wstring::npos) << Narrow(name) << " left unexpanded";
    }
    EXPECT_NE(Variable(L"Path").find(GetSystemDirectoryPath()), std::wstring::npos) << Narrow(Variable(L"Path"));
    EXPECT_EQ(Variable(L"SFX_PASSES_THROUGH"), L"kept");

    for (const auto& [name, value] : saved) SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    SetEnvironmentVariableW(L"SFX_PASSES_THROUGH", nullptr);
}

TEST(WorkTempTest, InterpreterSyntaxInAPathIsRecognised) {
    EXPECT_FALSE(HasInterpreterSyntax(L"C:\\Users\\Jo Smith\\AppData\\Local\\Temp\\"));
    for (const wchar_t* path : {L"C:\\x%Q%\\", L"C:\\a!b!\\", L"C:\\a&b\\", L"C:\\a^b\\", L"C:\\(x)\\", L"C:\\a|b"}) {
        EXPECT_TRUE(HasInterpreterSyntax(path)) << Narrow(path);
    }
}

// The temporary folder is the user's to name: it is used only when it cannot redirect
// anything, otherwise the machine's own takes the run.
TEST(WorkTempTest, ATemporaryFolderThatCouldRedirectIsPassedOver) {
    TestFolder root;
    const std::wstring machine = GetSystemWindowsDirectoryPath() + L"\\Temp\\";
    auto choose = [](const std::wstring& temp) {
        ScopedTempDirectory scoped(temp);
        return ChooseWorkTemp();
    };

    const std::wstring plain = root / L"plain\\";
    ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
    WorkTempChoice choice = choose(plain);
    EXPECT_EQ(choice.folder, plain);
    EXPECT_TRUE(choice.refused.empty()) << Narrow(choice.reason);

    const std::wstring syntax = root / L"x%Q%\\";
    ASSERT_TRUE(CreateDirectoryW(syntax.c_str(), nullptr));
    choice = choose(syntax);
    EXPECT_EQ(choice.folder, machine);
    EXPECT_EQ(choice.refused, syntax);
    EXPECT_EQ(choice.reason, L"characters the interpreter reads as syntax");

    // A link anywhere on the way, not only at the end.
    const std::wstring elsewhere = root / L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((elsewhere + L"\\Temp").c_str(), nullptr));
    const std::wstring link = root / L"link";
    ASSERT_TRUE(PlantUnixSymlink(elsewhere, link));
    choice = choose(link + L"\\Temp\\");
    EXPECT_EQ(choice.folder, machine);
    EXPECT_EQ(choice.reason, L"a link on its way");
    choice = choose(link + L"\\");
    EXPECT_EQ(choice.folder, machine);
    RemoveUnixLink(link);

    choice = choose(root / L"missing\\");
    EXPECT_EQ(choice.folder, machine);
    EXPECT_EQ(choice.reason, L"missing");
}

}  // namespace
