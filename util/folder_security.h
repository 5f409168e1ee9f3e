#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

// Security attributes that give full control to the system account and the Administrators
// group, which owns what is made with them, and to nobody else: the access list is
// protected, so nothing is inherited from the parent folder. Files created inside inherit
// the same list.
class CPrivateFolderSecurity {
public:
    CPrivateFolderSecurity();
    ~CPrivateFolderSecurity();
    CPrivateFolderSecurity(const CPrivateFolderSecurity&) = delete;
    CPrivateFolderSecurity& operator=(const CPrivateFolderSecurity&) = delete;

    // Null when the descriptor could not be built: then nothing may be made with it, since
    // the default would be the temporary folder's list, open to others.
    SECURITY_ATTRIBUTES* Attributes() { return m_pDescriptor ? &m_attributes : nullptr; }

    // The access list in SDDL, for the log and the tests; empty when there is none.
    static std::wstring DescriptorText();

private:
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> m_pDescriptor;
    SECURITY_ATTRIBUTES m_attributes;
};
