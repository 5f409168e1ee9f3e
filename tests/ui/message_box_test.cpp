// The refusal messages as a user sees them: a real message box on a virtual X display,
// found by its caption, read and dismissed through Win32.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/launcher_fixture.h"
#include "support/wine_version.h"

namespace {

struct FoundBox {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (owner == search->pid && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The first dialog window ("#32770") of process pid, waited for up to timeoutMs.
FoundBox WaitForMessageBox(DWORD pid, DWORD timeoutMs) {
    Search search = {pid, nullptr};
    const DWORD start = GetTickCount();
    while (search.found == nullptr && GetTickCount() - start < timeoutMs) {
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) Sleep(50);
    }
    FoundBox box;
    box.window = search.found;
    if (box.window != nullptr) {
        wchar_t text[512] = {};
        GetWindowTextW(box.window, text, 512);
        box.caption = text;
        GetDlgItemTextW(box.window, 0xFFFF, text, 512);
        box.text = text;
    }
    return box;
}

std::wstring LauncherString(UINT id) {
    HMODULE module = LoadLibraryExW(LauncherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wchar_t text[512] = {};
    LoadStringW(module, id, text, 512);
    FreeLibrary(module);
    return text;
}

class MessageBoxTest : public LauncherFixture {
protected:
    void SetUp() override {
        LauncherFixture::SetUp();
        wchar_t display[64] = {};
        // Without a display Wine's MessageBoxW returns at once: nothing could be checked.
        ASSERT_GT(GetEnvironmentVariableW(L"DISPLAY", display, 64), 0u) << "these tests need an X display";
        Pack({{L"run.bat", "@echo off\r\n"}});
    }

    // Starts the default-branch launcher, expects its box with text textId, dismisses it
    // with OK and returns the launcher's exit code.
    DWORD ExpectRefusal(UINT textId) {
        HANDLE launcher = StartProcess(Quote(package), {{L"TMP", temp}, {L"TEMP", temp}});
        EXPECT_NE(launcher, nullptr);
        if (launcher == nullptr) return 1;
        const FoundBox box = WaitForMessageBox(GetProcessId(launcher), 20000);
        EXPECT_NE(box.window, nullptr) << "no message box appeared";
        EXPECT_EQ(box.caption, LauncherString(IDS_CAPTION));
        EXPECT_EQ(box.text, LauncherString(textId));
        EXPECT_FALSE(box.text.empty());
        if (box.window != nullptr) SendMessageW(box.window, WM_COMMAND, IDOK, 0);
        DWORD code = 1;
        if (WaitForSingleObject(launcher, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(launcher, &code);
        CloseHandle(launcher);
        return code;
    }
};

TEST_F(MessageBoxTest, VistaIsToldToUpgrade) {
    ScopedWineVersion version(L"vista");
    ASSERT_TRUE(version.Switched());
    EXPECT_EQ(ExpectRefusal(IDS_UPGRADE_WINDOWS), 0u);
    EXPECT_FALSE(FileExists(temp + L"unpack.log"));
}

TEST_F(MessageBoxTest, ASecondInstanceIsToldAnotherInstallationRuns) {
    const std::wstring release = L"sfx-ui-release-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring started = L"sfx-ui-started-" + std::to_wstring(GetCurrentProcessId());
    HANDLE releaseEvent = CreateProbeEvent(release);
    HANDLE startedEvent = CreateProbeEvent(started);
    HANDLE first = StartProcess(Quote(package) + L" " + Quote(ProbePath()) + L" wait",
                                {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_WAIT", release}, {L"PROBE_STARTED", started}});
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(WaitForSingleObject(startedEvent, 20000), static_cast<DWORD>(WAIT_OBJECT_0));

    EXPECT_EQ(ExpectRefusal(IDS_ANOTHER_INSTANCE), 0u);

    SetEvent(releaseEvent);
    EXPECT_EQ(WaitForSingleObject(first, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(first);
    CloseHandle(releaseEvent);
    CloseHandle(startedEvent);
}

}  // namespace
