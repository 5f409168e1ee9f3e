#pragma once

#include <string>

// Switches the Windows version the Wine prefix reports (winecfg -v NAME: vista, win7, win8,
// win81, win10) while the object lives, and puts the earlier version back.
class ScopedWineVersion {
public:
    explicit ScopedWineVersion(const wchar_t* name);
    ~ScopedWineVersion();
    ScopedWineVersion(const ScopedWineVersion&) = delete;
    ScopedWineVersion& operator=(const ScopedWineVersion&) = delete;
    bool Switched() const { return m_switched; }

private:
    std::wstring m_previous;
    bool m_switched = false;
};
