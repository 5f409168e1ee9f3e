#include "util/file_system.h"

#include <winioctl.h>

#include <vector>

#include "util/handles.h"

BOOL PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL IsPlainFolder(const std::wstring& path) {
    // With a trailing backslash the platform may answer for what a link points at.
    std::wstring folder = path;
    while (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring GetModulePath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, buffer, MAX_PATH) == 0) return std::wstring();
    return buffer;
}

bool IsGuardedPath(const std::wstring& path) {
    return path.find(L"ProgramData") != std::wstring::npos;
}

BOOL IsMountPoint(const std::wstring& path) {
    if (!IsGuardedPath(path)) return FALSE;
    // Opened as itself, not followed, and with no sharing: the test is about the link.
    UniqueHandle link(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!link) return FALSE;
    std::vector<BYTE> buffer(4096);
    DWORD returned = 0;
    if (!DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &returned, nullptr) ||
        returned < sizeof(DWORD)) {
        return FALSE;
    }
    DWORD tag = 0;
    memcpy(&tag, buffer.data(), sizeof(tag));
    return IsMountPointTag(tag) ? TRUE : FALSE;
}

BOOL SafeDeleteFile(const std::wstring& path) {
    if (!PathExists(path)) return TRUE;
    if (IsMountPoint(path)) return FALSE;
    return DeleteFileW(path.c_str());
}

BOOL SafeRemoveDirectory(const std::wstring& path) {
    if (!PathExists(path)) return TRUE;
    if (IsMountPoint(path)) return FALSE;
    return RemoveDirectoryW(path.c_str());
}

namespace {

void RemoveLink(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        SafeRemoveDirectory(path);
    } else {
        SafeDeleteFile(path);
    }
}

}  // namespace

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    std::wstring top = folder;
    while (top.size() > 1 && top.back() == L'\\') top.pop_back();
    const DWORD topAttributes = GetFileAttributesW(top.c_str());
    if (topAttributes != INVALID_FILE_ATTRIBUTES &&
        (topAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveLink(top, topAttributes);
        return;
    }

    const std::wstring base = folder.back() == L'\\' ? folder : folder + L'\\';
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((base + L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            const std::wstring path = base + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveLink(path, entry.dwFileAttributes);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (name != L"." && name != L"..") DeleteFolderTree(path);
            } else {
                SafeDeleteFile(path);
            }
        } while (FindNextFileW(find.Get(), &entry));
    }
    find.Reset();
    SafeRemoveDirectory(folder);
}

void StripPathLevels(std::wstring& path, int count) {
    for (int i = 0; i < count; ++i) {
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) return;
        path.erase(cut);
    }
}
