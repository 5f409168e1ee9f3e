#include "support/unix_link.h"

#include <windows.h>


std::string UnixPath(const std::wstring& path) {
    using Converter = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (convert == nullptr) return std::string();
    char* unix = convert(path.c_str());
    if (unix == nullptr) return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

namespace {

// Starts a Unix program through Wine; nothing tells of its end.
bool StartUnixProgram(const std::wstring& command) {
    std::wstring line = command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    // The handles Wine hands back for a Unix process are left alone: with them closed,
    // later named-event creations in this process failed with ERROR_INVALID_HANDLE.
    return true;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Waits up to five seconds for path to exist (or to be gone).
bool WaitFor(const std::wstring& path, bool present) {
    for (int i = 0; i < 100; ++i) {
        if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

bool PlantUnixSymlink(const std::wstring& target, const std::wstring& link) {
    const std::wstring linkPath = WithoutTrailingSlash(link);
    const std::string from = UnixPath(target);
    const std::string to = UnixPath(linkPath);
    if (from.empty() || to.empty()) return false;
    // Wine starts a Unix program named by its path on drive Z: as a Unix process.
    return StartUnixProgram(L"Z:\\bin\\ln -s " + Wide(from) + L" " + Wide(to)) && WaitFor(linkPath, true);
}

void RemoveUnixLink(const std::wstring& link) {
    const std::wstring linkPath = WithoutTrailingSlash(link);
    // Nothing there, or a real folder (a run's own work folder, say): no link to remove.
    const DWORD attributes = GetFileAttributesW(linkPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        return;
    }
    const std::string path = UnixPath(linkPath);
    if (!path.empty() && StartUnixProgram(L"Z:\\bin\\rm -f " + Wide(path))) WaitFor(linkPath, false);
}
