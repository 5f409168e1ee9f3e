#include "registry/registry.h"

#include "framework/handles.h"
#include "registry/impersonate_user.h"

namespace {

// The program is 32-bit and addresses the 32-bit view of HKEY_LOCAL_MACHINE\Software without
// asking for it. Built for 64 bits it must ask, or it would write elsewhere.
constexpr REGSAM kViewFlag = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;
static_assert(sizeof(void*) == 4 || kViewFlag == KEY_WOW64_32KEY,
              "a 64-bit build must open the 32-bit registry view (KEY_WOW64_32KEY)");

bool IsPredefinedRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

}  // namespace

CRegistry::CRegistry()
    : m_lastOpenStatus(ERROR_SUCCESS),
      m_hRootKey(HKEY_CURRENT_USER),
      m_bNoFlush(TRUE),
      m_b64BitView(FALSE) {}

CRegistry::~CRegistry() { Reset(); }

BOOL CRegistry::SetRootKey(HKEY root) {
    if (!IsPredefinedRoot(root)) return FALSE;
    m_hRootKey = root;
    return TRUE;
}

BOOL CRegistry::Reset() {
    m_strSubKey.clear();
    m_hRootKey = HKEY_CURRENT_USER;
    m_bNoFlush = TRUE;
    return TRUE;
}

REGSAM CRegistry::Access(REGSAM access) const {
    return access | kViewFlag | (m_b64BitView ? KEY_WOW64_64KEY : 0);
}

HKEY CRegistry::GetRootHandle() const {
    if (m_hRootKey != HKEY_CURRENT_USER) return m_hRootKey;
    HKEY hive = HKEY_CURRENT_USER;
    {
        // The hive handle stays valid after the revert; only its opening needs the user.
        CImpersonateUser user;
        HKEY opened = nullptr;
        if (RegOpenCurrentUser(KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS) hive = opened;
    }
    return hive;
}

void CRegistry::ReleaseRootHandle(HKEY root) {
    if (!IsPredefinedRoot(root)) RegCloseKey(root);
}

BOOL CRegistry::SelectResolvedKey(HKEY root, const std::wstring& path, BOOL create) {
    UniqueRegKey key;
    if (create) {
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access(KEY_ALL_ACCESS),
                            nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
            return FALSE;
        }
    } else {
        m_lastOpenStatus = RegOpenKeyExW(root, path.c_str(), 0, Access(KEY_READ), key.Put());
        if (m_lastOpenStatus != ERROR_SUCCESS) return FALSE;
    }
    m_strSubKey = path;
    if (!m_bNoFlush) RegFlushKey(key.Get());
    return TRUE;
}

BOOL CRegistry::SelectKey(const std::wstring& path, BOOL create) {
    const RootKey root(GetRootHandle());
    if (path.empty()) {
        m_strSubKey.clear();
        return TRUE;
    }
    return SelectResolvedKey(root.Get(), path, create);
}

BOOL CRegistry::KeyExists(const std::wstring& path) {
    const RootKey root(GetRootHandle());
    UniqueRegKey key;
    return RegOpenKeyExW(root.Get(), path.c_str(), 0, Access(KEY_ALL_ACCESS), key.Put()) == ERROR_SUCCESS;
}

BOOL CRegistry::ValueExists(const std::wstring& name) {
    const RootKey root(GetRootHandle());
    UniqueRegKey key;
    if (RegOpenKeyExW(root.Get(), m_strSubKey.c_str(), 0, Access(KEY_ALL_ACCESS), key.Put()) != ERROR_SUCCESS) {
        return FALSE;
    }
    return RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD CRegistry::ReadDword(const std::wstring& name, DWORD defaultValue) {
    const RootKey root(GetRootHandle());
    UniqueRegKey key;
    if (RegOpenKeyExW(root.Get(), m_strSubKey.c_str(), 0, Access(KEY_READ), key.Put()) != ERROR_SUCCESS) {
        return defaultValue;
    }
    // The stored type is not looked at: whatever fits into four bytes is the value.
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS) {
        return defaultValue;
    }
    return value;
}

BOOL CRegistry::WriteDword(const std::wstring& name, DWORD value) {
    const RootKey root(GetRootHandle());
    UniqueRegKey key;
    if (RegOpenKeyExW(root.Get(), m_strSubKey.c_str(), 0, Access(KEY_WRITE), key.Put()) != ERROR_SUCCESS) {
        return FALSE;
    }
    const BOOL written = RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                        sizeof(value)) == ERROR_SUCCESS;
    if (written && !m_bNoFlush) RegFlushKey(key.Get());
    return written;
}

BOOL CRegistry::WriteString(const std::wstring& name, const std::wstring& text, DWORD type) {
    const RootKey root(GetRootHandle());
    UniqueRegKey key;
    if (RegOpenKeyExW(root.Get(), m_strSubKey.c_str(), 0, Access(KEY_WRITE), key.Put()) != ERROR_SUCCESS) {
        return FALSE;
    }
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const BOOL written =
        RegSetValueExW(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
        ERROR_SUCCESS;
    if (written && !m_bNoFlush) RegFlushKey(key.Get());
    return written;
}
