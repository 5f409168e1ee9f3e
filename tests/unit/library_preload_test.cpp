#include <gtest/gtest.h>

#include "app/library_preload.h"

TEST(LibraryPreloadTest, LoadsWinspoolThenTheListInOrderFromTheSystemDirectory) {
    const std::vector<std::wstring> paths = SystemLibraryPaths(L"C:\\Windows\\system32");
    const std::vector<std::wstring> expected = {
        L"winspool.drv", L"wtsapi32.dll", L"version.dll",  L"wldp.dll",     L"propsys.dll",
        L"profapi.dll",  L"vaultcli.dll", L"edputil.dll",  L"iertutil.dll", L"netutils.dll",
        L"srvcli.dll",   L"urlmon.dll",   L"sspicli.dll",  L"logoncli.dll", L"wkscli.dll",
        L"samcli.dll",   L"netapi32.dll", L"cfgmgr32.dll", L"TextShaping.dll",
    };
    ASSERT_EQ(paths.size(), expected.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(paths[i], L"C:\\Windows\\system32\\" + expected[i]);
    }
}

TEST(LibraryPreloadTest, NothingIsLoadedWhenTheSystemDirectoryIsUnknown) {
    EXPECT_TRUE(SystemLibraryPaths(L"").empty());
}
