#include "support/registry_fixture.h"

#include <cstring>

void RemoveCompanyKeys() {
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(software, L"Corvanta Inc.");
        RegCloseKey(software);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kCompanyKey);
}

bool SetValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
              DWORD size) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExW(opened, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return ok;
}

bool SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value) {
    return SetValue(root, key, name, REG_DWORD, &value, sizeof(value));
}

bool CreateKey(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

DWORD StoredValue::AsDword() const {
    DWORD value = 0;
    memcpy(&value, data.data(), data.size() < 4 ? data.size() : 4);
    return value;
}

std::wstring StoredValue::AsString() const {
    std::wstring text(data.size() / 2, L'\0');
    if (!text.empty()) memcpy(&text[0], data.data(), text.size() * 2);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

StoredValue ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
    StoredValue value;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.present = RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, value.data.data(), &size) ==
                        ERROR_SUCCESS;
    }
    RegCloseKey(opened);
    return value;
}

bool KeyPresent(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}
