#include "util/os_version.h"

#include "util/log.h"
#include "util/system_function.h"

namespace {

DWORD VersionKey(DWORD major, DWORD minor) { return (major << 8) | minor; }

// GetVersionExW is deprecated in the headers, but its answer (shaped by the manifest)
// is exactly what is asked for here.
BOOL QueryVersionEx(OSVERSIONINFOW* info) {
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
    return GetVersionExW(info);
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(info);
#pragma GCC diagnostic pop
#endif
}

}  // namespace

int OSLevelFromVersion(DWORD major, DWORD minor) {
    const DWORD key = VersionKey(major, minor);
    if (key >= 0x0A00) return kOS10;
    switch (key) {
        case 0x0603: return kOS81;
        case 0x0602: return kOS8;
        case 0x0601: return kOS7;
        case 0x0600: return kOSVista;
        default: return kOSUnknown;
    }
}

int OSLevelFromVersionExTable(DWORD major, DWORD minor) {
    const DWORD key = VersionKey(major, minor);
    if (key >= 0x0602) return kOS8;
    if (key == 0x0601) return kOS7;
    if (key == 0x0600) return kOSVista;
    return kOSUnknown;
}

int GetOSLevel() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info = {};
    const auto rtlGetVersion = LoadedFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (rtlGetVersion != nullptr) {
        info.dwOSVersionInfoSize = sizeof(info);
        if (rtlGetVersion(&info) == 0) return OSLevelFromVersion(info.dwMajorVersion, info.dwMinorVersion);
    }
    return GetOSLevelFromVersionEx();
}

int GetOSLevelFromVersionEx() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    // On failure the fields stay zero, which is level 0.
    QueryVersionEx(reinterpret_cast<OSVERSIONINFOW*>(&info));
    return OSLevelFromVersionExTable(info.dwMajorVersion, info.dwMinorVersion);
}

BOOL IsPreVista() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    QueryVersionEx(&info);
    return info.dwMajorVersion < 6;
}

BOOL IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = LoadedFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    if (isWow64Process == nullptr) return FALSE;
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) return FALSE;
    return wow64;
}

BOOL IsSystem64Bit() {
    // A 64-bit process runs only on a 64-bit system; a 32-bit one is under WOW64 exactly
    // there, on every system the launcher supports.
    return sizeof(void*) == 8 ? TRUE : IsWow64();
}

namespace CUtility {

void OSInfo() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    QueryVersionEx(&info);
    WriteLog(L"[%s] OS %d.%d(%d) %s x64:%d", L"CUtility::OSInfo", static_cast<int>(info.dwMajorVersion),
             static_cast<int>(info.dwMinorVersion), static_cast<int>(info.dwBuildNumber), info.szCSDVersion,
             IsSystem64Bit() ? 1 : 0);
}

}  // namespace CUtility
