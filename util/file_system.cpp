#include "util/file_system.h"

#include <winioctl.h>
#include <winternl.h>
#include <ntsecapi.h>

#include <cwchar>

#include <vector>

#include "framework/handles.h"
#include "util/system_paths.h"

BOOL PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL IsPlainFolder(const std::wstring& path) {
    // With a trailing backslash the platform may answer for what a link points at.
    const DWORD attributes = GetFileAttributesW(WithoutTrailingBackslashes(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

namespace {
std::wstring FinalPath(HANDLE handle);
}  // namespace

BOOL OpenedUnderAnotherName(HANDLE file, const std::wstring& name) {
    const std::wstring path = FinalPath(file);
    const size_t slash = path.rfind(L'\\');
    if (path.empty() || slash == std::wstring::npos) return FALSE;
    return EqualIgnoringCase(path.substr(slash + 1), name) ? FALSE : TRUE;
}

UniqueHandle HoldFolder(const std::wstring& folder) {
    return UniqueHandle(CreateFileW(WithoutTrailingBackslashes(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using StatusToErrorFn = ULONG(NTAPI*)(NTSTATUS);

FARPROC NtdllProc(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr ? nullptr : GetProcAddress(ntdll, name);
}

// The native form of a Win32 path: "C:\x" as "\??\C:\x", "\\server\share" as "\??\UNC\server\share".
std::wstring NativePath(const std::wstring& path) {
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

}  // namespace

UniqueHandle CreateHeldFolder(const std::wstring& folder, SECURITY_ATTRIBUTES* security) {
    // Only the native call both creates a folder and hands back a handle to it. Looked up
    // on each call: a function-local static would need a thread-safe guard from the runtime.
    const NtCreateFileFn create = reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void*>(NtdllProc("NtCreateFile")));
    const StatusToErrorFn toError = reinterpret_cast<StatusToErrorFn>(
        reinterpret_cast<void*>(NtdllProc("RtlNtStatusToDosError")));
    if (create == nullptr || toError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return UniqueHandle();
    }
    std::wstring path = NativePath(WithoutTrailingBackslashes(folder));
    if (path.size() * sizeof(wchar_t) > 0xFFFF) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return UniqueHandle();
    }
    UNICODE_STRING name;
    name.Buffer = &path[0];
    name.Length = static_cast<USHORT>(path.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr,
                               security != nullptr ? security->lpSecurityDescriptor : nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    // FILE_CREATE fails on any existing name; the sharing is HoldFolder's.
    const NTSTATUS status =
        create(&handle, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr,
               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
               FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT |
                   FILE_OPEN_REPARSE_POINT,
               nullptr, 0);
    if (status < 0) {
        SetLastError(toError(status));
        return UniqueHandle();
    }
    return UniqueHandle(handle);
}

std::wstring RandomSuffix() {
    ULONG value = 0;
    // Should the generator fail, the clock still makes a name that is hard to foresee.
    if (!RtlGenRandom(&value, sizeof(value))) value = GetTickCount() ^ (GetCurrentProcessId() << 16);
    wchar_t text[9] = {};
    _snwprintf(text, 8, L"%08lX", value);
    return text;
}

std::wstring GetModulePath() {
    return QueryFixedPath([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
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

std::wstring FinalPath(HANDLE handle) {
    return QueryFixedPath([handle](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED);
    });
}

BOOL DeleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
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
    const std::wstring finalPath = FinalPath(child.Get());
    if (!parentFinalPath.empty() && !EqualIgnoringCase(finalPath, parentFinalPath + L"\\" + name)) {
        return;
    }
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

}  // namespace

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    const std::wstring top = WithoutTrailingBackslashes(folder);
    const DWORD topAttributes = GetFileAttributesW(top.c_str());
    if (topAttributes != INVALID_FILE_ATTRIBUTES &&
        (topAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveLink(top, topAttributes);
        return;
    }
    {
        UniqueHandle held = HoldFolder(top);
        const DWORD attributes = held ? HandleAttributes(held.Get()) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            held.Reset();
            RemoveLink(top, attributes);
            return;
        }
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteChildren(top + L"\\", FinalPath(held.Get()));
        }
    }
    SafeRemoveDirectory(folder);
}

void StripPathLevels(std::wstring& path, int count) {
    for (int i = 0; i < count; ++i) {
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) return;
        path.erase(cut);
    }
}
