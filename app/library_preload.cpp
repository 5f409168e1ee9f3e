#include "app/library_preload.h"

#include <windows.h>

#include "util/system_paths.h"

namespace {

const wchar_t* const kPreloadList[] = {
    L"wtsapi32", L"version", L"wldp",     L"propsys", L"profapi", L"vaultcli",
    L"edputil",  L"iertutil", L"netutils", L"srvcli",  L"urlmon",  L"sspicli",
    L"logoncli", L"wkscli",  L"samcli",   L"netapi32", L"cfgmgr32", L"TextShaping",
};

}  // namespace

std::vector<std::wstring> SystemLibraryPaths(const std::wstring& systemDirectory) {
    std::vector<std::wstring> paths;
    if (systemDirectory.empty()) return paths;
    paths.push_back(systemDirectory + L"\\winspool.drv");
    for (const wchar_t* name : kPreloadList) paths.push_back(systemDirectory + L"\\" + name + L".dll");
    return paths;
}

void HardenLibrarySearchPath() {
    SetDllDirectoryW(L"");
    for (const std::wstring& path : SystemLibraryPaths(GetSystemDirectoryPath())) {
        SetDllDirectoryW(L"");
        LoadLibraryW(path.c_str());
    }
}
