#include <shlobj.h>

#include <string>

#include "package/unpack.h"
#include "util/file_system.h"
#include "util/folder_security.h"
#include "util/log.h"
#include "util/system_paths.h"

namespace {
const wchar_t kTag[] = L"CUnPack::GetWorkFolder";
constexpr int kCreateRetries = 20;
constexpr DWORD kRetryPauseMs = 100;
// Folders tried beside "unpack" when a leftover of that name cannot be removed.
constexpr int kSpareFolders = 99;

}  // namespace

std::wstring CUnPack::GetWorkFolder() {
    if (!m_strWorkFolder.empty()) return m_strWorkFolder;

    const std::wstring temp = GetTempDirectory();
    m_strWorkFolder = temp + L"unpack\\";
    if (PathExists(m_strWorkFolder)) RemoveFolder(m_strWorkFolder);

    // Only this account, the system and the administrators may touch what is unpacked:
    // in a shared temporary folder anyone could otherwise add a run.bat or a library of
    // their own between extraction and launch.
    CPrivateFolderSecurity security;
    // A folder just removed can linger for a moment (a scanner or indexer still holds
    // it), so the creation is retried for about two seconds.
    int result = SHCreateDirectoryExW(nullptr, m_strWorkFolder.c_str(), security.Attributes());
    for (int retries = 0; result != ERROR_SUCCESS && retries < kCreateRetries; ++retries) {
        result = SHCreateDirectoryExW(nullptr, m_strWorkFolder.c_str(), security.Attributes());
        Sleep(kRetryPauseMs);
    }
    if (result != ERROR_SUCCESS) {
        // Something of the same name stays (a file held open inside, a planted link): it is
        // not ours, so it is never used. A fresh folder beside it is, made only where the
        // name is free, so another planted name is passed over too.
        for (int n = 1; n <= kSpareFolders; ++n) {
            const std::wstring spare = temp + L"unpack." + std::to_wstring(n) + L"\\";
            if (CreateDirectoryW(spare.c_str(), security.Attributes())) {
                WriteLog(L"[%s] %sunpack could not be made afresh, work folder:%s", kTag,
                         temp.c_str(), spare.c_str());
                m_strWorkFolder = spare;
                result = ERROR_SUCCESS;
                break;
            }
        }
    }
    if (result == ERROR_SUCCESS) {
        m_hWorkFolder = HoldFolder(m_strWorkFolder);
        m_bOwnWorkFolder = m_hWorkFolder.IsValid() ? TRUE : FALSE;
    }
    if (!m_bOwnWorkFolder) WriteLog(L"[%s] no work folder of our own", kTag);
    return m_strWorkFolder;
}

void CUnPack::RemoveWorkFolder() {
    if (m_strWorkFolder.empty()) return;
    // A folder this run did not make is somebody else's: it is left as it is.
    if (!m_bOwnWorkFolder) return;
    m_hWorkFolder.Reset();
    m_bOwnWorkFolder = FALSE;
    RemoveFolder(m_strWorkFolder);
}

void CUnPack::RemoveFolder(const std::wstring& folder) {
    DeleteFolderTree(folder);

    std::wstring parent = WithoutTrailingBackslashes(folder);
    StripPathLevels(parent, 1);
    // The folder cannot go while it is the current directory.
    SetCurrentDirectoryW(parent.c_str());
    // A program that has just ended can leave its console host holding the folder as
    // its current directory for a moment; that hold gets the creation's two seconds.
    for (int retries = 0; !RemoveDirectoryW(folder.c_str()) &&
                          GetLastError() == ERROR_SHARING_VIOLATION && retries < kCreateRetries;
         ++retries) {
        Sleep(kRetryPauseMs);
    }
}
