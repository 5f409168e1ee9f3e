#include "util/folder_security.h"

#include <sddl.h>

std::wstring CPrivateFolderSecurity::DescriptorText() {
    // O:BA: the Administrators group owns it, not the account that started the run (an
    // owner may always change the access list). P: protected, no inherited entries.
    // OICI: files and folders inside get the same.
    return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

CPrivateFolderSecurity::CPrivateFolderSecurity() : m_attributes() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(DescriptorText().c_str(), SDDL_REVISION_1,
                                                              m_pDescriptor.Put(), nullptr)) {
        m_pDescriptor.Reset();
        return;
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_pDescriptor.Get();
    m_attributes.bInheritHandle = FALSE;
}

CPrivateFolderSecurity::~CPrivateFolderSecurity() = default;
