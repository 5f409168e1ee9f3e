// One installation at a time, whoever starts it: a named mutex in the machine-wide
// namespace whose mere existence says that another instance runs. It is never owned.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

class CSingleInstance {
public:
    // name null: an unnamed mutex. Creates the mutex at once.
    explicit CSingleInstance(const wchar_t* name);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Closes any held handle, creates (or opens) the mutex and keeps its last-error code.
    void CreateGuardMutex();
    void CloseGuardMutex();

    // TRUE when the creation found the mutex there already (183), or there but closed to
    // this account (5). Any other failure lets the run go on unguarded.
    BOOL IsAlreadyRunning() const;

private:
    DWORD m_dwLastError;
    UniqueHandle m_hMutex;
    bool m_bUnnamed;
    std::wstring m_strName;
};

constexpr wchar_t kInstanceMutexName[] = L"Global\\{47B9233E-7E50-46F2-B442-6A53F0D0F508}";
