// Measures the launcher under Wine on this machine against the floor of each job, done
// the plain way in the same run, and prints table rows. Each row interleaves its
// measurements round by round (the order rotating), and its ratio is the median of the
// rounds' ratios: absolute times drift with the machine's load, ratios of neighbours less.
//   bench.exe [MiB]   (default 256; SFX_BENCH_ROUNDS set shows every sample on stderr)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "format/package_format.h"
#include "package/unpack.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"
#include "tools/sfxpack/package/package_writer.h"

namespace {

constexpr DWORD kBlock = 1024;  // the launcher's copy block
constexpr int kLargeFileRounds = 7;
constexpr int kManyFilesRounds = 7;
constexpr int kProcessRounds = 15;
constexpr DWORD kChildRunMs = 500;  // how long the probe runs in the child-exit rounds
bool g_showRounds = false;          // SFX_BENCH_ROUNDS set: every sample to stderr

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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The samples of a row's measurements, one per round each.
struct Series {
    std::vector<std::vector<double>> samples;  // per measurement
    double Of(size_t m) const { return Median(samples[m]); }
    // Median over the rounds of measurement a divided by measurement b.
    double Ratio(size_t a, size_t b) const {
        std::vector<double> ratios;
        for (size_t i = 0; i < samples[a].size(); ++i) ratios.push_back(samples[a][i] / samples[b][i]);
        return Median(ratios);
    }
};

// rounds rounds of every measurement, round i starting with measurement i mod n, after one
// round that is not counted (first runs pay for caches and a cold console).
Series Interleave(int rounds, const std::vector<std::function<double()>>& measures) {
    for (const auto& measure : measures) measure();
    Series series;
    series.samples.resize(measures.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < measures.size(); ++k) {
            const size_t m = (round + k) % measures.size();
            series.samples[m].push_back(measures[m]());
            if (g_showRounds) std::fprintf(stderr, "round %d, measurement %zu: %.3f s\n", round, m, series.samples[m].back());
        }
    }
    return series;
}

const char* Verdict(bool met) { return met ? "met" : "**missed**"; }

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

// The log discipline of the launcher without its checks: open, append one line, close.
void AppendLine(const std::wstring& log, const std::wstring& text) {
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

// The floor of unpacking: the same contents copied out of the same package into files of
// the same names, one 1 KiB read and one write at a time; with logLines, that many lines
// of the launcher's length per file, each appended the launcher's way.
double BareLoop(const std::wstring& package, uint64_t offset, const std::vector<size_t>& sizes,
                const std::wstring& folder, const std::wstring& log, int logLines) {
    const std::wstring prefix = L"[" + std::to_wstring(GetCurrentProcessId()) +
                                L"]2026-12-09 12:00:00  [CUnPack::UnPackFiles] (1/4096)UnPack file name:";
    const double start = Now();
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE image = CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BYTE buffer[kBlock];
    for (size_t i = 0; i < sizes.size(); ++i) {
        offset += sfx::kEntryHeaderSize;
        const std::wstring path = folder + L"f" + std::to_wstring(i) + L".bin";
        for (int line = 0; line < logLines; ++line) AppendLine(log, prefix + path + L" (65536) (Last=0)\r\n");
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        SetFilePointerEx(image, at, nullptr, FILE_BEGIN);
        HANDLE output = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD got = 0, written = 0;
        for (size_t left = sizes[i]; left > 0; left -= got) {
            if (!ReadFile(image, buffer, static_cast<DWORD>(std::min<size_t>(kBlock, left)), &got, nullptr) || got == 0) break;
            WriteFile(output, buffer, got, &written, nullptr);
        }
        CloseHandle(output);
        offset += sizes[i];
    }
    CloseHandle(image);
    const double elapsed = Now() - start;
    RemoveTree(folder);
    DeleteFileW(log.c_str());
    return elapsed;
}

struct PackedFiles {
    TestFolder root;
    std::vector<std::wstring> sources;
    std::wstring package = root / L"package.exe";
    std::wstring temp = root / L"tmp\\";
    bool packed = false;

    explicit PackedFiles(const std::vector<size_t>& sizes) {
        CreateDirectoryW((root / L"in").c_str(), nullptr);
        CreateDirectoryW(temp.c_str(), nullptr);
        std::vector<std::string> inputs;
        for (size_t i = 0; i < sizes.size(); ++i) {
            sources.push_back(root / (L"in\\f" + std::to_wstring(i) + L".bin"));
            WriteFileOfSize(sources.back(), sizes[i]);
            inputs.push_back(Narrow(sources.back()));
        }
        std::string error;
        packed = sfx::CreatePackage(Narrow(LauncherPath()), inputs, Narrow(package), &error);
        if (!packed) std::printf("| pack failed: %s | | | | |\n", error.c_str());
    }

    // CUnPack::UnPackFiles itself, in-process, with its log writes.
    double Unpack() const {
        ScopedTempDirectory scoped(temp);
        CUnPack unpacker(package);
        const double start = Now();
        unpacker.UnPackFiles();
        const double elapsed = Now() - start;
        unpacker.RemoveWorkFolder();
        DeleteFileW((temp + L"unpack.log").c_str());
        return elapsed;
    }
};

void OneLargeFile(size_t mib) {
    const std::vector<size_t> sizes = {mib << 20};
    const PackedFiles files(sizes);
    if (!files.packed) return;
    const uint64_t offset = ReadBytes(LauncherPath()).size();
    const std::wstring copies = files.root / L"copy\\";
    const Series s = Interleave(kLargeFileRounds, {
        [&] { return files.Unpack(); },
        [&] { return BareLoop(files.package, offset, sizes, files.temp + L"floor\\", files.temp + L"floor.log", 0); },
        [&] {
            CreateDirectoryW(copies.c_str(), nullptr);
            const double start = Now();
            CopyFileW(files.sources[0].c_str(), (copies + L"f0.bin").c_str(), FALSE);
            const double elapsed = Now() - start;
            RemoveTree(copies);
            return elapsed;
        },
    });
    const double ratio = s.Ratio(0, 1);
    std::printf("| unpack %zu MiB, one file | %.2f s | bare 1 KiB loop %.2f s | %.2fx | <= 1.1x: %s |\n", mib, s.Of(0),
                s.Of(1), ratio, Verdict(ratio <= 1.1));
    std::printf("| (the same against CopyFileW, for information) | | CopyFileW %.2f s | %.1fx | |\n", s.Of(2),
                s.Ratio(0, 2));
}

void ManyFiles(size_t count, size_t size) {
    const std::vector<size_t> sizes(count, size);
    const PackedFiles files(sizes);
    if (!files.packed) return;
    const uint64_t offset = ReadBytes(LauncherPath()).size();
    const Series s = Interleave(kManyFilesRounds, {
        [&] { return files.Unpack(); },
        [&] { return BareLoop(files.package, offset, sizes, files.temp + L"floor\\", files.temp + L"floor.log", 3); },
    });
    const double ratio = s.Ratio(0, 1);
    std::printf("| unpack %zu files of %zu KiB | %.2f s | bare loop, 3 log lines a file %.2f s | %.2fx | <= 1.3x: %s |\n",
                count, size >> 10, s.Of(0), s.Of(1), ratio, Verdict(ratio <= 1.3));
}

std::wstring FloorPath() { return BinaryFolder() + L"bench_floor.exe"; }

void EmptyRun() {
    TestFolder root;
    const std::wstring temp = root / L"tmp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring batch = root / L"run.bat";
    WriteText(batch, "@exit 0");
    const std::wstring package = root / L"package.exe";
    std::string error;
    if (!sfx::CreatePackage(Narrow(LauncherPath()), {Narrow(batch)}, Narrow(package), &error)) {
        std::printf("| pack failed: %s | | | | |\n", error.c_str());
        return;
    }
    auto timed = [&](const std::wstring& commandLine) {
        const double start = Now();
        const RunResult run = RunProcess(commandLine, {{L"TMP", temp}, {L"TEMP", temp}});
        const double elapsed = Now() - start;
        if (!run.finished || run.exitCode != 0) std::fprintf(stderr, "failed: %s\n", Narrow(commandLine).c_str());
        for (const wchar_t* name : {L"unpack.log", L"unpack.log.txt", L"floor.log.txt"}) DeleteFileW((temp + name).c_str());
        return elapsed;
    };
    const Series s = Interleave(kProcessRounds, {
        [&] { return timed(Quote(package)); },
        [&] { return timed(Quote(FloorPath()) + L" run " + Quote(temp)); },
    });
    const double ratio = s.Ratio(0, 1);
    std::printf("| whole run, package of run.bat \"@exit 0\" | %.0f ms | its job done bare %.0f ms | %.2fx | <= 1.15x: %s |\n",
                s.Of(0) * 1000, s.Of(1) * 1000, ratio, Verdict(ratio <= 1.15));
}

void ChildExitToExit() {
    TestFolder root;
    const std::wstring temp = root / L"tmp\\";
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring package = root / L"package.exe";
    CopyFileW(LauncherPath().c_str(), package.c_str(), FALSE);
    const std::wstring stamp = temp + L"stamp.bin";
    const std::wstring eventName = L"sfx-bench-" + std::to_wstring(GetCurrentProcessId());
    HANDLE release = CreateProbeEvent(eventName);
    // From the probe's last moment to the end of the program that waits for it, as its
    // parent sees it. With runMs the probe runs that long first (held on an event).
    auto delay = [&](const std::wstring& commandLine, DWORD runMs) {
        ResetEvent(release);
        EnvOverrides environment = {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_STAMP", stamp}};
        if (runMs > 0) environment[L"PROBE_WAIT"] = eventName;
        HANDLE process = StartProcess(commandLine, environment);
        Sleep(runMs);
        SetEvent(release);
        WaitForSingleObject(process, 60000);
        const double end = Now();
        CloseHandle(process);
        LARGE_INTEGER childExit = {}, frequency;
        const std::vector<uint8_t> bytes = ReadBytes(stamp);
        if (bytes.size() == sizeof(childExit)) memcpy(&childExit, bytes.data(), sizeof(childExit));
        if (bytes.size() != sizeof(childExit)) std::fprintf(stderr, "no stamp: %s\n", Narrow(commandLine).c_str());
        DeleteFileW(stamp.c_str());
        DeleteFileW((temp + L"unpack.log").c_str());
        QueryPerformanceFrequency(&frequency);
        return end - static_cast<double>(childExit.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    const std::wstring probe = L" " + Quote(ProbePath()) + L" x";
    const std::wstring launcher = Quote(package) + probe;
    const std::wstring waiter = Quote(FloorPath()) + L" wait " + Quote(temp) + probe;
    const std::wstring remover = Quote(FloorPath()) + L" wait-and-remove " + Quote(temp + L"floor") + probe;
    // A child that runs a while, as an installation does, and one that ends before its
    // console host is up: the host keeps the folder until it has started and ended.
    const Series s = Interleave(kProcessRounds, {
        [&] { return delay(launcher, kChildRunMs); },
        [&] { return delay(waiter, kChildRunMs); },
        [&] { return delay(launcher, 0); },
        [&] { return delay(remover, 0); },
    });
    CloseHandle(release);
    std::printf("| child exit to launcher exit, console child of %lu ms | %.0f ms | bare waiter %.0f ms | | <= bare + 5 ms: %s |\n",
                kChildRunMs, s.Of(0) * 1000, s.Of(1) * 1000, Verdict(s.Of(0) <= s.Of(1) + 0.005));
    std::printf("| (the same, child that ends at once, for information) | %.0f ms | bare waiter that removes the folder %.0f ms | %.2fx | |\n",
                s.Of(2) * 1000, s.Of(3) * 1000, s.Ratio(2, 3));
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 256;
    g_showRounds = GetEnvironmentVariableW(L"SFX_BENCH_ROUNDS", nullptr, 0) > 0;
    OneLargeFile(mib);
    ManyFiles(4096, (mib << 20) / 4096);
    EmptyRun();
    ChildExitToExit();
    const size_t image = ReadBytes(LauncherPath()).size();
    std::printf("| launcher image | %zu bytes | | | <= 163840 bytes: %s |\n", image, Verdict(image <= 163840));
    return 0;
}
