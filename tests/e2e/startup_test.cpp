// The start-up checks of the real launcher: platform version, one instance at a time,
// the interpreter it picks and the libraries it has loaded before its own work begins.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>

#include "support/launcher_fixture.h"
#include "support/wine_version.h"

namespace {

const char kQuietBat[] = "@echo off\r\necho ran\r\n";

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// An event a probe waits on, and one it sets once it runs.
struct ProbeEvents {
    std::wstring releaseName = L"sfx-release-" + std::to_wstring(GetCurrentProcessId());
    std::wstring startedName = L"sfx-started-" + std::to_wstring(GetCurrentProcessId());
    HANDLE release = CreateProbeEvent(releaseName);
    HANDLE started = CreateProbeEvent(startedName);
    ProbeEvents() {
        ResetEvent(release);
        ResetEvent(started);
    }
    ~ProbeEvents() {
        SetEvent(release);
        CloseHandle(release);
        CloseHandle(started);
    }
    EnvOverrides Env() const { return {{L"PROBE_WAIT", releaseName}, {L"PROBE_STARTED", startedName}}; }
    bool WaitStarted() const { return WaitForSingleObject(started, 20000) == WAIT_OBJECT_0; }
};

class StartupTest : public LauncherFixture {
protected:
    // Starts the launcher in the argument branch with a probe that waits to be released.
    HANDLE StartWaitingLauncher(const ProbeEvents& events) {
        EnvOverrides env = events.Env();
        env[L"TMP"] = temp;
        env[L"TEMP"] = temp;
        return StartProcess(Quote(package) + L" " + Quote(ProbePath()) + L" wait", env);
    }
};

TEST_F(StartupTest, SupportedVersionsRunAndTheLogShowsTheRealVersion) {
    Pack({{L"run.bat", kQuietBat}});
    const struct {
        const wchar_t* name;
        const wchar_t* version;
    } cases[] = {{L"win7", L"OS 6.1("}, {L"win8", L"OS 6.2("}, {L"win81", L"OS 6.3("}, {L"win10", L"OS 10.0("}};
    for (const auto& c : cases) {
        DeleteFileW((temp + L"unpack.log").c_str());
        ScopedWineVersion version(c.name);
        ASSERT_TRUE(version.Switched()) << Narrow(c.name);
        const RunResult run = Run();
        ASSERT_TRUE(run.finished) << Narrow(c.name);
        EXPECT_EQ(run.exitCode, 0u);
        const std::vector<std::wstring> m = Messages();
        ASSERT_FALSE(m.empty()) << Narrow(c.name);
        // Without the manifest's entries 8.1 and 10 would report 6.2 here.
        EXPECT_EQ(m[0].rfind(L"[CUtility::OSInfo] " + std::wstring(c.version), 0), 0u) << Narrow(m[0]);
        EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n") << Narrow(c.name);
    }
}

TEST_F(StartupTest, VistaIsRefusedBeforeAnythingIsDone) {
    Pack({{L"run.bat", kQuietBat}});
    ScopedWineVersion version(L"vista");
    ASSERT_TRUE(version.Switched());
    const RunResult run = Run();  // without a display the message box returns at once
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_FALSE(FileExists(temp + L"unpack.log"));
    EXPECT_FALSE(FileExists(WorkFolder()));
    EXPECT_FALSE(FileExists(temp + L"unpack.log.txt"));
}

TEST_F(StartupTest, ASecondInstanceIsRefusedWhileTheFirstWaitsForItsInstallation) {
    Pack({{L"run.bat", kQuietBat}});
    ProbeEvents events;
    HANDLE first = StartWaitingLauncher(events);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(events.WaitStarted());
    const size_t linesBefore = Messages().size();

    const RunResult second = Run();
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_EQ(Messages().size(), linesBefore) << "the refused instance logs nothing";
    EXPECT_FALSE(FileExists(temp + L"unpack.log.txt"));
    EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the first goes on";

    SetEvent(events.release);
    ASSERT_EQ(WaitForSingleObject(first, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(first);
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute done code:0");

    const RunResult third = Run();
    ASSERT_TRUE(third.finished);
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n") << "a new instance runs once the first has gone";
}

TEST_F(StartupTest, AnInstallationThatOutlivesItsLauncherDoesNotHoldTheGuard) {
    ProbeEvents events;
    Pack({{L"run.bat", "@echo off\r\nstart \"\" \"" + Narrow(ProbePath()) + "\" left-running\r\n"}});
    const RunResult first = Run(L"", events.Env());
    ASSERT_TRUE(first.finished);
    ASSERT_TRUE(events.WaitStarted()) << "the probe was not left running";

    DeleteFileW((temp + L"unpack.log").c_str());
    Pack({{L"run.bat", kQuietBat}});
    const RunResult second = Run();
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n");
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute done code:0");
}

// A cmd.exe beside the launcher or inside the package must never be the interpreter.
TEST_F(StartupTest, APlantedCommandInterpreterIsNeverStarted) {
    ASSERT_TRUE(CopyFileW(ProbePath().c_str(), (root / L"cmd.exe").c_str(), FALSE));
    const std::vector<uint8_t> probe = ReadBytes(ProbePath());
    Pack({{L"run.bat", kQuietBat}, {L"cmd.exe", std::string(probe.begin(), probe.end())}});
    const RunResult run = Run(L"", {{L"PROBE_OUT", temp + L"planted-cmd-ran.txt"}});
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(FileExists(temp + L"planted-cmd-ran.txt"));
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n");
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:" + ExpectedInterpreter() +
                       L" param:/D /E:ON /V:OFF /c run.bat > \"" + temp + L"unpack.log.txt\""));
}

// Under Wine's 64-bit prefix the 32-bit launcher runs under WOW64; in a 32-bit prefix it
// does not, nor does the 64-bit launcher anywhere. ctest runs this once in each
// (SFX_EXPECT_WOW64 says which).
TEST_F(StartupTest, TheInterpreterMatchesTheArchitecture) {
    Pack({{L"run.bat", kQuietBat}});
    ASSERT_TRUE(Run().finished);
    wchar_t expect[8] = {};
    GetEnvironmentVariableW(L"SFX_EXPECT_WOW64", expect, 8);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (expect[0] != L'\0') {
        EXPECT_EQ(wow64, expect[0] == L'1' ? TRUE : FALSE) << "ran in the wrong prefix";
    }
    // The platform line says whether the system is 64-bit, whatever the launcher's word size.
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const bool system64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    const std::vector<std::wstring> m = Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[0].substr(m[0].size() - 6), system64 ? L" x64:1" : L" x64:0");
    // A 32-bit launcher on a 64-bit system reaches the 64-bit interpreter through sysnative;
    // the 64-bit launcher is not under WOW64 and takes the system folder's by its full path.
    const std::wstring interpreter = ExpectedInterpreter();
    EXPECT_NE(interpreter.find(wow64 ? L"\\sysnative\\cmd.exe" : L"\\system32\\cmd.exe"), std::wstring::npos);
    if (sizeof(void*) == 8) {
        EXPECT_EQ(interpreter.find(L"sysnative"), std::wstring::npos);
    }
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] dir:" + WorkFolder() + L" file:" + interpreter +
                       L" param:/D /E:ON /V:OFF /c run.bat > \"" + temp + L"unpack.log.txt\""));
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n");
}

TEST_F(StartupTest, SystemLibrariesAreLoadedFromTheSystemDirectory) {
    Pack({{L"run.bat", kQuietBat}});
    // Decoys beside the launcher: a copy there must not be the one in use.
    ASSERT_TRUE(WriteText(root / L"winspool.drv", "not a library"));
    ASSERT_TRUE(WriteText(root / L"wtsapi32.dll", "not a library"));
    ProbeEvents events;
    HANDLE launcher = StartWaitingLauncher(events);
    ASSERT_NE(launcher, nullptr);
    ASSERT_TRUE(events.WaitStarted());

    std::vector<std::wstring> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetProcessId(launcher));
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        modules.push_back(Lower(entry.szExePath));
    }
    CloseHandle(snapshot);
    SetEvent(events.release);
    WaitForSingleObject(launcher, 20000);
    CloseHandle(launcher);

    wchar_t system[MAX_PATH + 1] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    int found = 0;
    for (const wchar_t* name : {L"winspool.drv", L"wtsapi32.dll", L"version.dll", L"netapi32.dll", L"urlmon.dll",
                                L"cfgmgr32.dll", L"sspicli.dll", L"propsys.dll"}) {
        const std::wstring path = Lower(std::wstring(system) + L"\\" + name);
        if (!FileExists(path)) continue;  // this Wine does not have it
        ++found;
        EXPECT_NE(std::find(modules.begin(), modules.end(), path), modules.end()) << Narrow(path);
    }
    EXPECT_GE(found, 4);
    for (const std::wstring& module : modules) {
        if (module == Lower(package)) continue;
        EXPECT_NE(module.rfind(Lower(root.Path()), 0), 0u) << "loaded from beside the launcher: " << Narrow(module);
    }
}

}  // namespace
