#include "app/library_preload.h"

#include <windows.h>

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
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    const std::wstring systemDirectory = (length > 0 && length <= MAX_PATH) ? buffer : L"";
    for (const std::wstring& path : SystemLibraryPaths(systemDirectory)) {
        SetDllDirectoryW(L"");
        LoadLibraryW(path.c_str());
    }
}
