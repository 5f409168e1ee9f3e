// Measures the launcher under Wine on this machine and prints table rows (medians).
//   bench.exe [MiB]   (default 256)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "package/unpack.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"
#include "tools/sfxpack/package/package_writer.h"

namespace {

constexpr int kRuns = 5;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <class F>
double Median(int runs, F measure) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) seconds.push_back(measure());
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

void WriteFileOfSize(const std::wstring& path, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
    DWORD written = 0;
    for (size_t done = 0; done < size; done += block.size()) {
        WriteFile(file, block.data(), static_cast<DWORD>(std::min(block.size(), size - done)), &written, nullptr);
    }
    CloseHandle(file);
}

// Unpacking files of the given sizes against CopyFileW of the same files.
void UnpackAgainstCopy(const char* label, const std::vector<size_t>& sizes) {
    TestFolder root;
    std::vector<std::string> inputs;
    std::vector<std::wstring> sources;
    CreateDirectoryW((root / L"in").c_str(), nullptr);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::wstring path = root / (L"in\\f" + std::to_wstring(i) + L".bin");
        WriteFileOfSize(path, sizes[i]);
        sources.push_back(path);
        inputs.push_back(Narrow(path));
    }
    const std::wstring package = root / L"package.exe";
    std::string error;
    if (!sfx::CreatePackage(Narrow(LauncherPath()), inputs, Narrow(package), &error)) {
        std::printf("| %s | pack failed: %s |\n", label, error.c_str());
        return;
    }
    const std::wstring temp = root / L"tmp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const double unpack = Median(3, [&] {
        ScopedTempDirectory scoped(temp);
        CUnPack unpacker(package);
        const double start = Now();
        unpacker.UnPackFiles();
        const double elapsed = Now() - start;
        unpacker.RemoveWorkFolder();
        DeleteFileW((temp + L"unpack.log").c_str());
        return elapsed;
    });
    const std::wstring copies = root / L"copy\\";
    const double copy = Median(3, [&] {
        CreateDirectoryW(copies.c_str(), nullptr);
        const double start = Now();
        for (size_t i = 0; i < sources.size(); ++i) {
            CopyFileW(sources[i].c_str(), (copies + std::to_wstring(i)).c_str(), FALSE);
        }
        const double elapsed = Now() - start;
        RemoveTree(copies);
        return elapsed;
    });
    std::printf("| unpack %s | %.2f s | CopyFileW %.2f s | %.1fx |\n", label, unpack, copy, unpack / copy);
}

void ChildExitToLauncherExit() {
    TestFolder root;
    const std::wstring temp = root / L"tmp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring package = root / L"package.exe";
    CopyFileW(LauncherPath().c_str(), package.c_str(), FALSE);
    const std::wstring stamp = temp + L"stamp.bin";
    const double delay = Median(kRuns, [&] {
        HANDLE launcher = StartProcess(Quote(package) + L" " + Quote(ProbePath()) + L" x",
                                       {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_STAMP", stamp}});
        WaitForSingleObject(launcher, 60000);
        const double end = Now();
        CloseHandle(launcher);
        LARGE_INTEGER childExit = {}, frequency;
        const std::vector<uint8_t> bytes = ReadBytes(stamp);
        if (bytes.size() == sizeof(childExit)) memcpy(&childExit, bytes.data(), sizeof(childExit));
        QueryPerformanceFrequency(&frequency);
        return end - static_cast<double>(childExit.QuadPart) / static_cast<double>(frequency.QuadPart);
    });
    std::printf("| child exit to launcher exit | %.0f ms | polling every 3000 ms: up to 3000 ms | |\n", delay * 1000);
}

void WholeRunAgainstBareProgram() {
    TestFolder root;
    const std::wstring temp = root / L"tmp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring package = root / L"package.exe";
    std::string error;
    sfx::CreatePackage(Narrow(LauncherPath()), {}, Narrow(package), &error);
    const double launcher = Median(kRuns, [&] {
        const double start = Now();
        RunLauncher(package, temp);
        return Now() - start;
    });
    const double bare = Median(kRuns, [&] {
        const double start = Now();
        RunProcess(Quote(ProbePath()), {});
        return Now() - start;
    });
    std::printf("| whole run, empty package | %.0f ms | bare Win32 program %.0f ms | %.1fx |\n", launcher * 1000,
                bare * 1000, launcher / bare);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 256;
    const size_t total = mib << 20;
    UnpackAgainstCopy((std::to_string(mib) + " MiB, one entry").c_str(), {total});
    UnpackAgainstCopy((std::to_string(mib) + " MiB, 4096 entries").c_str(), std::vector<size_t>(4096, total / 4096));
    ChildExitToLauncherExit();
    WholeRunAgainstBareProgram();
    std::printf("| launcher image | %zu bytes | | |\n", ReadBytes(LauncherPath()).size());
    return 0;
}
