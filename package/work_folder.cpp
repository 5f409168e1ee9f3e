#include <string>

#include "package/unpack.h"
#include "util/file_system.h"
#include "util/folder_security.h"
#include "util/log.h"
#include "util/system_paths.h"
#include "util/work_temp.h"

namespace {
const wchar_t kTag[] = L"CUnPack::GetWorkFolder";
constexpr int kCreateRetries = 20;
constexpr DWORD kRetryPauseMs = 100;
// Folders tried beside "unpack" when a leftover of that name cannot be removed.
constexpr int kSpareFolders = 16;

}  // namespace

std::wstring CUnPack::GetWorkTemp() {
    if (m_strWorkTemp.empty()) {
        const WorkTempChoice choice = ChooseWorkTemp();
        if (!choice.refused.empty()) {
            WriteLog(L"[%s] temporary folder %s not used (%s), work folder and batch output in:%s", kTag,
                     choice.refused.c_str(), choice.reason.c_str(), choice.folder.c_str());
        }
        m_strWorkTemp = choice.folder;
    }
    return m_strWorkTemp;
}

std::wstring CUnPack::GetWorkFolder() {
    if (!m_strWorkFolder.empty()) return m_strWorkFolder;

    const std::wstring temp = GetWorkTemp();
    m_strWorkFolder = temp + L"unpack\\";
    if (PathExists(m_strWorkFolder)) RemoveFolder(m_strWorkFolder);

    // Only the system and the administrators may touch what is unpacked: in a shared
    // temporary folder anyone could otherwise add a run.bat or a library of their own
    // between extraction and launch. The folder is made and held in one call, so nobody
    // can slip another folder in under its name in between. Without that list there is no
    // folder of our own at all.
    CPrivateFolderSecurity security;
    if (security.Attributes() == nullptr) {
        WriteLog(L"[%s] no private access list for:%s", kTag, m_strWorkFolder.c_str());
        WriteLog(L"[%s] no work folder of our own", kTag);
        return m_strWorkFolder;
    }
    // A folder just removed can linger for a moment (a scanner or indexer still holds
    // it), so the creation is retried for about two seconds.
    m_hWorkFolder = CreateHeldFolder(m_strWorkFolder, security.Attributes());
    for (int retries = 0; !m_hWorkFolder && retries < kCreateRetries; ++retries) {
        m_hWorkFolder = CreateHeldFolder(m_strWorkFolder, security.Attributes());
        Sleep(kRetryPauseMs);
    }
    if (!m_hWorkFolder) {
        // Something of the same name stays (a file held open inside, a planted link): it is
        // not ours, so it is never used. A fresh folder beside it is, under a name nobody can
        // foresee and planted ahead, made only where the name is free.
        for (int n = 0; n < kSpareFolders && !m_hWorkFolder; ++n) {
            const std::wstring spare = temp + L"unpack." + RandomSuffix() + L"\\";
            m_hWorkFolder = CreateHeldFolder(spare, security.Attributes());
            if (m_hWorkFolder) {
                WriteLog(L"[%s] %sunpack could not be made afresh, work folder:%s", kTag,
                         temp.c_str(), spare.c_str());
                m_strWorkFolder = spare;
            }
        }
    }
    m_bOwnWorkFolder = m_hWorkFolder.IsValid() ? TRUE : FALSE;
    if (!m_bOwnWorkFolder) WriteLog(L"[%s] no work folder of our own", kTag);
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
    // A folder this run did not make is somebody else's: it is left as it is.
    if (!m_bOwnWorkFolder) return;
    // Let go first: the hold would keep the folder itself from going.
    m_hWorkFolder.Reset();
    RemoveFolder(m_strWorkFolder);
}

void CUnPack::RemoveFolder(const std::wstring& folder) {
    DeleteFolderTree(folder);

    std::wstring parent = WithoutTrailingBackslashes(folder);
    StripPathLevels(parent, 1);
    // The folder cannot go while it is the current directory.
    SetCurrentDirectoryW(parent.c_str());
    // A program that has just ended can leave its console host holding the folder as
    // its current directory for a moment.
    const DWORD start = GetTickCount();
    DWORD pause = kRemoveFirstPauseMs;
    while (!RemoveDirectoryW(folder.c_str()) &&
           GetLastError() == ERROR_SHARING_VIOLATION && GetTickCount() - start < kRemoveRetryMs) {
        Sleep(pause);
        pause = pause * 2 < kRemoveLongestPauseMs ? pause * 2 : kRemoveLongestPauseMs;
    }
}
