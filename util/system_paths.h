// The folders the platform names through fixed 260-unit path buffers, and path text helpers.
#pragma once

#include <windows.h>

#include <string>

// Calls query(buffer, MAX_PATH) with a buffer of MAX_PATH + 1 code units and returns the
// path it wrote; empty when it failed or answered a length above the bound (the size it
// would need, the buffer left unfilled).
template <class Query>
std::wstring QueryFixedPath(Query query) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = static_cast<DWORD>(query(buffer, MAX_PATH));
    return (length > 0 && length <= MAX_PATH) ? std::wstring(buffer) : std::wstring();
}

// The temporary directory as GetTempPathW reports it (ending in a backslash); empty when
// the call fails.
std::wstring GetTempDirectory();
// The system directory (GetSystemDirectoryW), without a trailing backslash; empty on failure.
std::wstring GetSystemDirectoryPath();
// The Windows directory (GetWindowsDirectoryW); empty on failure.
std::wstring GetWindowsDirectoryPath();
// The shared Windows directory of a multi-user system (GetSystemWindowsDirectoryW).
std::wstring GetSystemWindowsDirectoryPath();

// path without the backslashes at its end; a lone backslash stays.
std::wstring WithoutTrailingBackslashes(const std::wstring& path);
