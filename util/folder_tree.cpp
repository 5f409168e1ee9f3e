// The recursive delete: every child opened as itself and held while it is decided on.
#include <string>

#include "framework/handles.h"
#include "util/file_system.h"
#include "util/system_paths.h"

namespace {

void RemoveLink(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        SafeRemoveDirectory(path);
    } else {
        SafeDeleteFile(path);
    }
}

// A file opened as itself for deleting it, without delete sharing.
UniqueHandle OpenFileHeld(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

DWORD HandleAttributes(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info))) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return info.FileAttributes;
}

void DeleteChildren(const std::wstring& base, const std::wstring& baseFinalPath);

// Deletes one child of a folder that the caller holds, as the enumeration found it.
void DeleteChild(const std::wstring& path, const std::wstring& name, DWORD findAttributes,
                 const std::wstring& parentFinalPath) {
    if (findAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveLink(path, findAttributes);
        return;
    }
    const bool folder = (findAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Held, so what is decided from this handle is what gets entered and deleted. A folder
    // is held without delete access of its own, which would keep its listing from being read.
    UniqueHandle child = folder ? HoldFolder(path) : OpenFileHeld(path);
    if (!child) return;
    const DWORD attributes = HandleAttributes(child.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        child.Reset();
        RemoveLink(path, attributes);
        return;
    }
    // Swapped between the listing and the open: left for the next clean-up.
    if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) return;
    // A handle that ends up elsewhere than under its parent came through a link the
    // attributes do not show (Wine opens a Unix link to a file as its target): whatever
    // deletes it would delete the target, so it stays.
    const std::wstring finalPath = GetFinalPath(child.Get());
    if (!parentFinalPath.empty() && !IsNamedIn(finalPath, parentFinalPath, name)) return;
    if (!folder) {
        DeleteByHandle(child.Get());
        return;
    }
    DeleteChildren(path + L"\\", finalPath);
    child.Reset();
    SafeRemoveDirectory(path);
}

// Deletes what lies in the folder base (ending in a backslash), which the caller holds.
void DeleteChildren(const std::wstring& base, const std::wstring& baseFinalPath) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((base + L"*").c_str(), &entry));
    if (!find) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        DeleteChild(base + name, name, entry.dwFileAttributes, baseFinalPath);
    } while (FindNextFileW(find.Get(), &entry));
}

// The final path of the folder that holds path (without a backslash at its end), against
// which the path's own handle is checked. Empty when it cannot be had, and when the folder
// that path names is not reached by that path itself: a link or mount point on its way,
// put there after the path was chosen, would have the tree of another folder emptied.
std::wstring ParentFinalPath(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return std::wstring();
    // With its backslash, so that a drive's root is its root, not its current directory.
    const std::wstring written = path.substr(0, cut + 1);
    const UniqueHandle parent(CreateFileW(written.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return std::wstring();
    const std::wstring finalPath = WithoutTrailingBackslashes(GetFinalPath(parent.Get()));
    // 8.3 aliases of long names in the path are no links.
    const std::wstring longPath = QueryFixedPath(
        [&written](wchar_t* buffer, DWORD size) { return GetLongPathNameW(written.c_str(), buffer, size); });
    std::wstring expected = WithoutTrailingBackslashes(longPath.empty() ? written : longPath);
    if (expected.compare(0, 4, L"\\\\?\\") != 0) expected = L"\\\\?\\" + expected;
    return EqualIgnoringCase(finalPath, expected) ? finalPath : std::wstring();
}

}  // namespace

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    // The folder itself goes the way of any of its children: looked at, held and checked
    // through its own handle, and removed as a link when it is one.
    const std::wstring top = WithoutTrailingBackslashes(folder);
    const DWORD attributes = GetFileAttributesW(top.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        // Nothing is deleted without a parent to check the folder's own handle against.
        const std::wstring parentFinalPath = ParentFinalPath(top);
        if (parentFinalPath.empty()) return;
        DeleteChild(top, top.substr(top.rfind(L'\\') + 1), attributes, parentFinalPath);
        return;
    }
    SafeRemoveDirectory(folder);
}
