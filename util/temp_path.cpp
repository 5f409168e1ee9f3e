#include "util/temp_path.h"

#include <windows.h>

std::wstring GetTempDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    // A result above the bound is the size it would need: the buffer was not filled.
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return buffer;
}
