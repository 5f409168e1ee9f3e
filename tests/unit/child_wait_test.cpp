#include <gtest/gtest.h>

#include <thread>

#include "app/child_wait.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"

TEST(ChildWaitTest, EndOfAChildIsNoticedAtOnceWhateverItsExitCode) {
    for (DWORD code : {DWORD{0}, DWORD{7}, DWORD{STILL_ACTIVE}}) {
        HANDLE child = StartProcess(Quote(ProbePath()), {{L"PROBE_EXIT", std::to_wstring(code)}});
        ASSERT_NE(child, nullptr);
        const DWORD start = GetTickCount();
        EXPECT_EQ(WaitForChildExit(child, 3000), code);
        // Polling alone could not tell 259 from a running child and would never return.
        EXPECT_LT(GetTickCount() - start, 2500u) << "exit code " << code;
        CloseHandle(child);
    }
}

TEST(ChildWaitTest, ARunningChildIsWaitedFor) {
    const std::wstring name = L"sfx-childwait-release-" + std::to_wstring(GetCurrentProcessId());
    HANDLE release = CreateProbeEvent(name);
    ASSERT_NE(release, nullptr) << "CreateEventW failed with " << GetLastError();
    HANDLE child = StartProcess(Quote(ProbePath()), {{L"PROBE_WAIT", name}, {L"PROBE_EXIT", L"3"}});
    ASSERT_NE(child, nullptr);
    const DWORD start = GetTickCount();
    std::thread releaser([release] {
        Sleep(1000);
        SetEvent(release);
    });
    EXPECT_EQ(WaitForChildExit(child, 200), 3u);
    EXPECT_GE(GetTickCount() - start, 900u);
    releaser.join();
    CloseHandle(child);
    CloseHandle(release);
}
