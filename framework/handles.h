// Small move-only owners for what the launcher opens or is handed: kernel handles, find
// handles, registry keys and LocalAlloc'd memory. Closing never changes the thread's
// last-error code: a log line written right after a failed call must still show that
// call's code.
#pragma once

#include <windows.h>

template <class Traits>
class UniqueHandleT {
public:
    using Handle = typename Traits::Handle;

    UniqueHandleT() = default;
    explicit UniqueHandleT(Handle h) : m_h(h) {}
    ~UniqueHandleT() { Reset(); }
    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;
    UniqueHandleT(UniqueHandleT&& other) noexcept : m_h(other.Release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_h; }
    // For an API that hands the handle out through a pointer: what was held is closed first.
    Handle* Put() {
        Reset();
        return &m_h;
    }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }

    Handle Release() {
        Handle h = m_h;
        m_h = Traits::Empty();
        return h;
    }

    void Reset(Handle h = Traits::Empty()) {
        if (Traits::IsValid(m_h)) {
            const DWORD lastError = GetLastError();
            Traits::Close(m_h);
            SetLastError(lastError);
        }
        m_h = h;
    }

private:
    Handle m_h = Traits::Empty();
};

// Kernel handles: both null and INVALID_HANDLE_VALUE mean "none".
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
using UniqueHandle = UniqueHandleT<KernelHandleTraits>;

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
using UniqueFindHandle = UniqueHandleT<FindHandleTraits>;

// Registry keys. The predefined roots are never closed, so a holder may also carry one.
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static bool IsPredefined(Handle h) {
        return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE ||
               h == HKEY_USERS || h == HKEY_CURRENT_CONFIG || h == HKEY_PERFORMANCE_DATA;
    }
    static bool IsValid(Handle h) { return h != nullptr && !IsPredefined(h); }
    static void Close(Handle h) { RegCloseKey(h); }
};
using UniqueRegKey = UniqueHandleT<RegistryKeyTraits>;

// Memory that an API allocated with LocalAlloc for the caller to free.
template <class T>
struct LocalMemoryTraits {
    using Handle = T;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { LocalFree(reinterpret_cast<HLOCAL>(h)); }
};
template <class T>
using UniqueLocalMemory = UniqueHandleT<LocalMemoryTraits<T>>;
