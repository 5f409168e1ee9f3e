#include <shlobj.h>

#include "package/unpack.h"
#include "util/file_system.h"
#include "util/folder_security.h"
#include "util/temp_path.h"

namespace {
constexpr int kCreateRetries = 20;
constexpr DWORD kRetryPauseMs = 100;
}  // namespace

std::wstring CUnPack::GetWorkFolder() {
    if (!m_strWorkFolder.empty()) return m_strWorkFolder;

    m_strWorkFolder = GetTempDirectory() + L"unpack\\";
    if (PathExists(m_strWorkFolder)) RemoveWorkFolder();

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
    return m_strWorkFolder;
}

namespace {
// A console host lets go of its ended program's folder some 40-80 ms later: the removal is
// retried in short steps, growing from 1 to 10 ms, for about two seconds in all.
constexpr DWORD kRemoveFirstPauseMs = 1;
constexpr DWORD kRemoveLongestPauseMs = 10;
constexpr DWORD kRemoveRetryMs = 2000;
}  // namespace

void CUnPack::RemoveWorkFolder() {
    if (m_strWorkFolder.empty()) return;
    DeleteFolderTree(m_strWorkFolder);

    std::wstring parent = m_strWorkFolder;
    while (!parent.empty() && parent.back() == L'\\') parent.pop_back();
    StripPathLevels(parent, 1);
    // The folder cannot go while it is the current directory.
    SetCurrentDirectoryW(parent.c_str());
    // A program that has just ended can leave its console host holding the folder as
    // its current directory for a moment.
    const DWORD start = GetTickCount();
    DWORD pause = kRemoveFirstPauseMs;
    while (!RemoveDirectoryW(m_strWorkFolder.c_str()) &&
           GetLastError() == ERROR_SHARING_VIOLATION && GetTickCount() - start < kRemoveRetryMs) {
        Sleep(pause);
        pause = pause * 2 < kRemoveLongestPauseMs ? pause * 2 : kRemoveLongestPauseMs;
    }
}
