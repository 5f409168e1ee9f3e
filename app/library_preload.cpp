#include "app/library_preload.h"

#include <windows.h>

#include "util/system_function.h"
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

namespace {

// ProcessRedirectionTrustPolicy and its EnforceRedirectionTrust flag, which older headers
// do not know: junctions made by someone other than an administrator are not followed.
constexpr int kProcessRedirectionTrustPolicy = 16;
constexpr DWORD kEnforceRedirectionTrust = 0x1;

}  // namespace

// Both are looked up: systems before Windows 8 may lack them (Windows 7 without KB2533623 has
// no SetDefaultDllDirectories), and Wine lacks the redirection policy.
BOOL RestrictLibrariesToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = LoadedFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    return setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void EnforceRedirectionTrust() {
    using SetPolicyFn = BOOL(WINAPI*)(int, PVOID, SIZE_T);
    const auto setPolicy = LoadedFunction<SetPolicyFn>(L"kernel32.dll", "SetProcessMitigationPolicy");
    DWORD flags = kEnforceRedirectionTrust;
    if (setPolicy != nullptr) setPolicy(kProcessRedirectionTrustPolicy, &flags, sizeof(flags));
}

void HardenLibrarySearchPath() {
    // Libraries loaded from here on, also by the system's own code on our behalf, come only
    // from the system folder: never from the program's folder (Downloads, say) or the
    // current directory. Where that cannot be had, the current directory is taken out and
    // what the program pulls in later is loaded by full path now.
    RestrictLibrariesToSystemFolder();
    EnforceRedirectionTrust();
    SetDllDirectoryW(L"");
    for (const std::wstring& path : SystemLibraryPaths(GetSystemDirectoryPath())) {
        SetDllDirectoryW(L"");
        LoadLibraryW(path.c_str());
    }
}
