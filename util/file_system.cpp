#include "util/file_system.h"

#include <winioctl.h>
#include <winternl.h>

#include <cwchar>
#include <vector>

#include "framework/handles.h"
#include "util/system_function.h"
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

std::wstring GetFinalPath(HANDLE handle) {
    return QueryFixedPath([handle](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED);
    });
}

BOOL DeleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
}

bool IsNamedIn(const std::wstring& finalPath, const std::wstring& folderFinalPath, const std::wstring& name) {
    return !finalPath.empty() && !folderFinalPath.empty() &&
           EqualIgnoringCase(finalPath, WithoutTrailingBackslashes(folderFinalPath) + L"\\" + name);
}

// Asked through the two narrow information classes: GetFileInformationByHandle also queries
// the volume, which under Wine costs several times a whole log line.
bool IsPlainSingleLinkFile(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag))) return false;
    if (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard))) {
        return false;
    }
    return !standard.Directory && standard.NumberOfLinks <= 1;
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

// The native form of a Win32 path: "C:\x" as "\??\C:\x", "\\server\share" as "\??\UNC\server\share".
std::wstring NativePath(const std::wstring& path) {
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

// NtCreateFile on name (relative to root when root is given), with the thread's last error set
// from its status on failure; information, when given, takes what the call reports it did.
// Only the native call makes a file or folder relative to an open folder, or makes a folder
// and hands back a handle to it at once.
UniqueHandle NativeCreate(HANDLE root, std::wstring name, ACCESS_MASK access, PSECURITY_DESCRIPTOR security,
                          ULONG share, ULONG disposition, ULONG options, ULONG_PTR* information = nullptr) {
    // Looked up on each call: a function-local static would need a thread-safe guard from the runtime.
    const auto create = LoadedFunction<NtCreateFileFn>(L"ntdll.dll", "NtCreateFile");
    const auto toError = LoadedFunction<StatusToErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (create == nullptr || toError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return UniqueHandle();
    }
    if (name.empty() || name.size() * sizeof(wchar_t) > 0xFFFF) {
        SetLastError(name.empty() ? ERROR_INVALID_NAME : ERROR_FILENAME_EXCED_RANGE);
        return UniqueHandle();
    }
    UNICODE_STRING objectName;
    objectName.Buffer = &name[0];
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, root, security);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
               options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        SetLastError(toError(status));
        return UniqueHandle();
    }
    if (information != nullptr) *information = io.Information;
    return UniqueHandle(handle);
}

}  // namespace

UniqueHandle CreateHeldFolder(const std::wstring& folder, SECURITY_ATTRIBUTES* security) {
    // FILE_CREATE fails on any existing name; the sharing is HoldFolder's.
    return NativeCreate(nullptr, NativePath(WithoutTrailingBackslashes(folder)), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                        security != nullptr ? security->lpSecurityDescriptor : nullptr,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                        FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT);
}

UniqueHandle OpenForAppendIn(HANDLE folder, const std::wstring& name) {
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return UniqueHandle();
    }
    // No sharing; made when missing; a link at the name opened as itself.
    ULONG_PTR information = 0;
    UniqueHandle file = NativeCreate(folder, name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, nullptr, 0, FILE_OPEN_IF,
                                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &information);
    // What CreateFileW with OPEN_ALWAYS leaves.
    if (file) SetLastError(information == FILE_OPENED ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

std::wstring RandomSuffix() {
    ULONG value = 0;
    // Should the generator fail, the clock still makes a name that is hard to foresee.
    // RtlGenRandom is looked up, not imported: advapi32 forwards it to cryptbase.dll, which
    // the loader would otherwise look for beside the program before any code of ours ran.
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const auto genRandom = LoadedFunction<GenRandomFn>(L"advapi32.dll", "SystemFunction036");
    if (genRandom == nullptr || !genRandom(&value, sizeof(value))) {
        value = GetTickCount() ^ (GetCurrentProcessId() << 16);
    }
    wchar_t text[9] = {};
    _snwprintf(text, 8, L"%08lX", value);
    return text;
}

std::wstring GetModulePath() {
    // A path that fills the whole buffer was cut short: it names another file, or none.
    return QueryFixedPath([](wchar_t* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        return length < size ? length : 0;
    });
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

void StripPathLevels(std::wstring& path, int count) {
    for (int i = 0; i < count; ++i) {
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) return;
        path.erase(cut);
    }
}
