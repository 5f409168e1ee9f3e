#include "util/system_paths.h"

std::wstring GetTempDirectory() {
    return QueryFixedPath([](wchar_t* buffer, UINT size) { return GetTempPathW(size, buffer); });
}

std::wstring GetSystemDirectoryPath() { return QueryFixedPath(GetSystemDirectoryW); }

std::wstring GetWindowsDirectoryPath() { return QueryFixedPath(GetWindowsDirectoryW); }

std::wstring GetSystemWindowsDirectoryPath() { return QueryFixedPath(GetSystemWindowsDirectoryW); }

std::wstring WithoutTrailingBackslashes(const std::wstring& path) {
    std::wstring trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == L'\\') trimmed.pop_back();
    return trimmed;
}
