#include <gtest/gtest.h>

#include <regex>

#include "support/test_folder.h"
#include "util/log.h"
#include "util/os_version.h"

TEST(OSLevelTest, TheRealVersionTableKnowsEveryReleaseUpTo10) {
    const struct {
        DWORD major, minor;
        int level;
    } cases[] = {
        {5, 1, 0}, {5, 2, 0}, {6, 0, 1}, {6, 1, 2}, {6, 2, 3}, {6, 3, 4},
        {6, 4, 0}, {7, 0, 0}, {9, 255, 0}, {10, 0, 5}, {10, 1, 5}, {11, 0, 5}, {0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OSLevelFromVersion(c.major, c.minor), c.level) << c.major << "." << c.minor;
    }
}

TEST(OSLevelTest, TheFallBackTableStopsAtWindows8) {
    const struct {
        DWORD major, minor;
        int level;
    } cases[] = {
        {5, 1, 0}, {6, 0, 1}, {6, 1, 2}, {6, 2, 3}, {6, 3, 3}, {6, 4, 3}, {9, 0, 3}, {10, 0, 3}, {0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OSLevelFromVersionExTable(c.major, c.minor), c.level) << c.major << "." << c.minor;
    }
}

TEST(OSLevelTest, ThePlatformAnswersAgree) {
    OSVERSIONINFOEXW real = {};
    real.dwOSVersionInfoSize = sizeof(real);
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtl = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtl, nullptr);
    ASSERT_EQ(rtl(&real), 0);
    EXPECT_EQ(GetOSLevel(), OSLevelFromVersion(real.dwMajorVersion, real.dwMinorVersion));
    EXPECT_EQ(IsPreVista(), real.dwMajorVersion < 6 ? TRUE : FALSE);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(IsWow64(), wow64);
}

TEST(OSInfoTest, LogsVersionBuildServicePackAndArchitecture) {
    TestFolder folder;
    ScopedTempDirectory temp(folder.Path());
    CUtility::OSInfo();
    const std::vector<std::wstring> m = LogMessages(folder / L"unpack.log");
    ASSERT_EQ(m.size(), 1u);
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const bool system64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    const std::wstring expected = L"[CUtility::OSInfo] OS " + std::to_wstring(info.dwMajorVersion) + L"." +
                                  std::to_wstring(info.dwMinorVersion) + L"(" +
                                  std::to_wstring(info.dwBuildNumber) + L") " + info.szCSDVersion +
                                  L" x64:" + (system64 ? L"1" : L"0");
    EXPECT_EQ(m[0], expected);
}
