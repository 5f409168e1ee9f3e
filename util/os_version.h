// Platform version and architecture tests.
#pragma once

#include <windows.h>

// Platform level: 0 older or unrecognised, 1 Vista, 2 Windows 7, 3 Windows 8, 4 Windows 8.1,
// 5 Windows 10 or later.
enum OSLevel { kOSUnknown = 0, kOSVista = 1, kOS7 = 2, kOS8 = 3, kOS81 = 4, kOS10 = 5 };

// Level of a version by the real version number (RtlGetVersion).
int OSLevelFromVersion(DWORD major, DWORD minor);
// Level of a version by the fall-back table, which knows nothing after Windows 8.
int OSLevelFromVersionExTable(DWORD major, DWORD minor);

// Level from RtlGetVersion, or from GetOSLevelFromVersionEx when that cannot be had.
int GetOSLevel();
// Level from GetVersionExW with the fall-back table.
int GetOSLevelFromVersionEx();

// TRUE when GetVersionExW reports a major version below 6.
BOOL IsPreVista();
// TRUE when this process runs under WOW64 (a 32-bit process on 64-bit Windows).
BOOL IsWow64();

// TRUE on a 64-bit Windows, whatever the word size of this build.
BOOL IsSystem64Bit();

namespace CUtility {
// Logs "[CUtility::OSInfo] OS major.minor(build) service-pack x64:0|1".
void OSInfo();
}  // namespace CUtility
