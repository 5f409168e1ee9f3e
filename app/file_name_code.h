// The code a download carries in the program's own file name: twelve letters or digits
// after the last "-", optionally followed by a two-character region.
#pragma once

#include <string>

struct FileNameCode {
    std::wstring code;    // as written in the name
    std::wstring region;  // upper-cased; empty when there is none
};

// FALSE when the path carries no valid code (no "-", fewer than twelve letters or digits
// after it, or the last "-" in a folder name).
bool ParseFileNameCode(const std::wstring& path, FileNameCode* result);

// Stores a valid code with its fixed settings in the product key under
// HKEY_LOCAL_MACHINE, creating the key when missing; without one touches nothing.
void StoreFileNameCode(const std::wstring& path);
