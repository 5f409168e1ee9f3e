// Registry values as the tests arrange and read them: HKEY_LOCAL_MACHINE always in its
// 32-bit view, where a 32-bit program's Software key lands.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr wchar_t kCompanyKey[] = L"Software\\Corvanta Inc.";

// Deletes the company key with everything in it, in the machine's 32-bit view and in the
// current user's hive.
void RemoveCompanyKeys();

// Creates the key and stores one value of any type.
bool SetValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
              DWORD size);
bool SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value);
bool CreateKey(HKEY root, const std::wstring& key);

struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
    DWORD AsDword() const;
    std::wstring AsString() const;
};
StoredValue ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = KEY_WOW64_32KEY);
bool KeyPresent(HKEY root, const std::wstring& key, REGSAM view = KEY_WOW64_32KEY);
