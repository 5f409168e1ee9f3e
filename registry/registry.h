// Typed access to the values of one registry key below a chosen root. No handle is kept
// between calls: every operation opens what it needs and closes it before it returns.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

class CRegistry {
public:
    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Accepts HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS;
    // anything else is refused and the root stays.
    BOOL SetRootKey(HKEY root);
    // Back to the constructed state: root HKEY_CURRENT_USER, no current key.
    BOOL Reset();

    // Opens (create FALSE, for reading) or creates the key at path below the root and
    // makes it the current key. An empty path selects the root itself.
    BOOL SelectKey(const std::wstring& path, BOOL create);
    // As SelectKey, for the path that the product key token resolves to. Defined with the
    // product key logic (registry/product_key.cpp), which builds on this accessor.
    BOOL SelectProductKey(const std::wstring& path, BOOL create);

    // TRUE when the key at path can be opened with full access.
    BOOL KeyExists(const std::wstring& path);
    // TRUE when the current key can be opened with full access and holds the value.
    BOOL ValueExists(const std::wstring& name);
    // The value's first four bytes whatever its type, or defaultValue when the key cannot
    // be opened or the data does not fit into four bytes.
    DWORD ReadDword(const std::wstring& name, DWORD defaultValue);
    BOOL WriteDword(const std::wstring& name, DWORD value);
    // Stores text with its terminating zero under the given type (REG_SZ in this program).
    BOOL WriteString(const std::wstring& name, const std::wstring& text, DWORD type);

    LONG LastOpenStatus() const { return m_lastOpenStatus; }
    const std::wstring& CurrentKey() const { return m_strSubKey; }

private:
    // Through what the root is reached: for HKEY_CURRENT_USER the hive of the session's
    // user, opened while impersonating that user.
    HKEY GetRootHandle() const;
    static void ReleaseRootHandle(HKEY root);
    // The root handle of one operation, given back through ReleaseRootHandle on every way out.
    struct RootKeyTraits {
        using Handle = HKEY;
        static Handle Empty() { return nullptr; }
        static bool IsValid(Handle h) { return h != nullptr; }
        static void Close(Handle h) { ReleaseRootHandle(h); }
    };
    using RootKey = UniqueHandleT<RootKeyTraits>;
    REGSAM Access(REGSAM access) const;
    BOOL SelectResolvedKey(HKEY root, const std::wstring& path, BOOL create);

    LONG m_lastOpenStatus;
    HKEY m_hRootKey;
    std::wstring m_strSubKey;
    BOOL m_bNoFlush;
    BOOL m_b64BitView;
};
