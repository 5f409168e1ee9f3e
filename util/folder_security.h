#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

// Security attributes that give full control to the system account, the Administrators
// group and the owner of the calling process's token, and nothing else: the access list
// is protected, so nothing is inherited from the parent folder. Files created inside
// inherit the same list.
class CPrivateFolderSecurity {
public:
    CPrivateFolderSecurity();
    ~CPrivateFolderSecurity();
    CPrivateFolderSecurity(const CPrivateFolderSecurity&) = delete;
    CPrivateFolderSecurity& operator=(const CPrivateFolderSecurity&) = delete;

    // Null when the descriptor could not be built; the folder then gets the default.
    SECURITY_ATTRIBUTES* Attributes() { return m_pDescriptor ? &m_attributes : nullptr; }

    // The access list in SDDL, for the log and the tests; empty when there is none.
    static std::wstring DescriptorText();

private:
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> m_pDescriptor;
    SECURITY_ATTRIBUTES m_attributes;
};
