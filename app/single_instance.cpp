#include "app/single_instance.h"

CSingleInstance::CSingleInstance(const wchar_t* name)
    : m_dwLastError(0), m_bUnnamed(name == nullptr), m_strName(name == nullptr ? L"" : name) {
    CreateGuardMutex();
}

CSingleInstance::~CSingleInstance() { CloseGuardMutex(); }

void CSingleInstance::CreateGuardMutex() {
    CloseGuardMutex();
    // No security attributes: the handle is not inherited, so a launched installation
    // does not keep the mutex alive after the launcher has gone.
    m_hMutex.Reset(CreateMutexW(nullptr, FALSE, m_bUnnamed ? nullptr : m_strName.c_str()));
    m_dwLastError = GetLastError();
}

void CSingleInstance::CloseGuardMutex() { m_hMutex.Reset(); }

BOOL CSingleInstance::IsAlreadyRunning() const {
    return m_dwLastError == ERROR_ALREADY_EXISTS || m_dwLastError == ERROR_ACCESS_DENIED;
}
