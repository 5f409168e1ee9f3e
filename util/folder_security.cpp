#include "util/folder_security.h"

#include <sddl.h>

#include "util/handles.h"

namespace {

// String form of the SID that owns what the process creates (its token's default owner).
std::wstring TokenOwnerSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::wstring();
    UniqueHandle token(raw);
    BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_OWNER)] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenOwner, buffer, sizeof(buffer), &size)) {
        return std::wstring();
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner, &text)) {
        return std::wstring();
    }
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

}  // namespace

std::wstring CPrivateFolderSecurity::DescriptorText() {
    const std::wstring owner = TokenOwnerSid();
    if (owner.empty()) return std::wstring();
    // P: protected, no inherited entries. OICI: files and folders inside get the same.
    return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + owner + L")";
}

CPrivateFolderSecurity::CPrivateFolderSecurity() : m_pDescriptor(nullptr), m_attributes() {
    const std::wstring text = DescriptorText();
    if (text.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            text.c_str(), SDDL_REVISION_1, &m_pDescriptor, nullptr)) {
        m_pDescriptor = nullptr;
        return;
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_pDescriptor;
    m_attributes.bInheritHandle = FALSE;
}

CPrivateFolderSecurity::~CPrivateFolderSecurity() {
    if (m_pDescriptor != nullptr) LocalFree(m_pDescriptor);
}
