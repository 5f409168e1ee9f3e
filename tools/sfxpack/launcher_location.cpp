#include "tools/sfxpack/launcher_location.h"

#include <cstdlib>
#include <vector>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

// Set by the build: the build tree's folder of executables, the launcher images built for
// it, and the installed image's path relative to the installed executable's folder.
#ifndef SFXPACK_BUILD_BIN_DIR
#define SFXPACK_BUILD_BIN_DIR ""
#endif
#ifndef SFXPACK_BUILT_LAUNCHER
#define SFXPACK_BUILT_LAUNCHER ""
#endif
#ifndef SFXPACK_BUILT_LAUNCHER_X64
#define SFXPACK_BUILT_LAUNCHER_X64 ""
#endif
#ifndef SFXPACK_INSTALLED_LAUNCHER
#define SFXPACK_INSTALLED_LAUNCHER "VADuVavuVazo.exe"
#endif

namespace sfxpack {
namespace {

#ifdef _WIN32
std::string RunningExecutable() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return sfx::NarrowToUtf8(std::wstring(buffer.data(), n));
        if (buffer.size() >= 32768) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

// Windows keeps the built image beside sfxpack.exe in the build tree as when installed.
bool IsBuildTreeFolder(const std::string&) { return false; }
#else
std::string RunningExecutable() {
    std::vector<char> buffer(PATH_MAX);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return std::string();
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string RealPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::string();
    const std::string result = resolved;
    std::free(resolved);
    return result;
}

bool IsBuildTreeFolder(const std::string& folder) {
    const std::string buildBin = RealPath(SFXPACK_BUILD_BIN_DIR);
    return !buildBin.empty() && RealPath(folder) == buildBin;
}
#endif

}  // namespace

std::string DefaultLauncherPath(sfx::PeArchitecture architecture, std::string* error) {
    const std::string executable = RunningExecutable();
    if (executable.empty()) {
        *error = "cannot tell where this sfxpack is installed; give the launcher with --launcher";
        return std::string();
    }
    const bool x64 = architecture == sfx::PeArchitecture::kX64;
    const std::string folder = sfx::FolderOf(executable);
    const std::string built = x64 ? SFXPACK_BUILT_LAUNCHER_X64 : SFXPACK_BUILT_LAUNCHER;
    if (!built.empty() && IsBuildTreeFolder(folder)) return built;
    std::string installed = sfx::JoinPath(folder, SFXPACK_INSTALLED_LAUNCHER);
    if (x64) {
        // Its namesake in a folder "x64" beside it, joined with the platform's separator.
        const std::string data = sfx::FolderOf(installed);
        installed = sfx::JoinPath(sfx::JoinPath(data, "x64"), installed.substr(data.size()));
    }
#ifndef _WIN32
    // "/usr/bin/../share/..." reads better without its detour, when it is there at all.
    const std::string resolved = RealPath(installed);
    if (!resolved.empty()) return resolved;
#endif
    return installed;
}

}  // namespace sfxpack
