#include "support/wine_version.h"

#include <windows.h>

#include "support/launcher_run.h"

namespace {

// winecfg's name for the version the prefix reports now.
std::wstring CurrentVersionName() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtl = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtl == nullptr || rtl(&info) != 0) return L"win7";
    switch ((info.dwMajorVersion << 8) | info.dwMinorVersion) {
        case 0x0600: return L"vista";
        case 0x0602: return L"win8";
        case 0x0603: return L"win81";
        case 0x0A00: return L"win10";
        default: return L"win7";
    }
}

bool SwitchTo(const std::wstring& name) {
    return RunProcess(L"winecfg.exe -v " + name, {}, 30000).finished;
}

}  // namespace

ScopedWineVersion::ScopedWineVersion(const wchar_t* name) : m_previous(CurrentVersionName()) {
    m_switched = SwitchTo(name);
}

ScopedWineVersion::~ScopedWineVersion() { SwitchTo(m_previous); }
