#include "util/work_temp.h"

#include <windows.h>

#include <utility>

#include "framework/handles.h"
#include "util/file_system.h"
#include "util/system_paths.h"

const wchar_t* WhyRedirecting(const std::wstring& temp, UniqueHandle* held) {
    if (temp.empty()) return L"unknown";
    const std::wstring path = WithoutTrailingBackslashes(temp);
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') return L"not a folder on a local drive";
    // Every folder from the drive's root down, the temporary folder itself last.
    for (size_t end = 3; end <= path.size(); ++end) {
        if (end != path.size() && path[end] != L'\\') continue;
        const std::wstring folder = path.substr(0, end);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"missing";
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"a link on its way";
    }
    // A link the platform does not flag shows in where the opened folder really is. Delete
    // sharing lets the user's folder be renamed or removed while it is held.
    UniqueHandle folder(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return L"cannot be opened";
    std::wstring finalPath = GetFinalPath(folder.Get());
    if (finalPath.compare(0, 4, L"\\\\?\\") == 0) finalPath.erase(0, 4);
    // GetTempPathW may give 8.3 aliases of long names, which are not links.
    const std::wstring longPath =
        QueryFixedPath([&path](wchar_t* buffer, DWORD size) { return GetLongPathNameW(path.c_str(), buffer, size); });
    if (!EqualIgnoringCase(finalPath, longPath.empty() ? path : longPath)) return L"leads elsewhere";
    if (held != nullptr) *held = std::move(folder);
    return nullptr;
}

namespace {

// Why temp (a full path ending in a backslash) may not be used; null when it may.
const wchar_t* WhyNotUsable(const std::wstring& temp) {
    if (temp.empty()) return L"unknown";
    if (HasInterpreterSyntax(temp)) return L"characters the interpreter reads as syntax";
    return WhyRedirecting(temp, nullptr);
}

}  // namespace

bool HasInterpreterSyntax(const std::wstring& path) {
    return path.find_first_of(L"%!^&|<>()\"") != std::wstring::npos;
}

WorkTempChoice ChooseWorkTemp() {
    WorkTempChoice choice;
    const std::wstring temp = GetTempDirectory();
    const wchar_t* why = WhyNotUsable(temp);
    if (why == nullptr) {
        choice.folder = temp;
        return choice;
    }
    choice.refused = temp;
    choice.reason = why;
    choice.folder = GetSystemWindowsDirectoryPath() + L"\\Temp\\";
    return choice;
}
