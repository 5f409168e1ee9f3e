#include "util/folder_security.h"

#include <sddl.h>

#include "framework/handles.h"

namespace {

// String form of the SID that owns what the process creates (its token's default owner).
std::wstring TokenOwnerSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return std::wstring();
    BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_OWNER)] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenOwner, buffer, sizeof(buffer), &size)) {
        return std::wstring();
    }
    UniqueLocalMemory<wchar_t*> text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner, text.Put())) {
        return std::wstring();
    }
    return text.Get();
}

}  // namespace

std::wstring CPrivateFolderSecurity::DescriptorText() {
    const std::wstring owner = TokenOwnerSid();
    if (owner.empty()) return std::wstring();
    // P: protected, no inherited entries. OICI: files and folders inside get the same.
    return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + owner + L")";
}

CPrivateFolderSecurity::CPrivateFolderSecurity() : m_attributes() {
    const std::wstring text = DescriptorText();
    if (text.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            text.c_str(), SDDL_REVISION_1, m_pDescriptor.Put(), nullptr)) {
        m_pDescriptor.Reset();
        return;
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_pDescriptor.Get();
    m_attributes.bInheritHandle = FALSE;
}

CPrivateFolderSecurity::~CPrivateFolderSecurity() = default;
