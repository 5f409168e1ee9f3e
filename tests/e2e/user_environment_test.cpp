// What the user who starts the elevated launcher controls without elevation: the file it is
// started from (and its folder), the environment (TEMP and any variable), the current
// directory. None of it may make the launcher run something else than its own package, or
// run it with the user's redirections.
#include <gtest/gtest.h>

#include "common/raw_package.h"
#include "registry/product_key.h"
#include "support/launcher_fixture.h"
#include "support/registry_fixture.h"
#include "support/unix_link.h"
#include "util/system_paths.h"

namespace {

using sfxtest::RawPackage;

class UserEnvironmentTest : public LauncherFixture {
protected:
    const std::wstring machineTemp = GetSystemWindowsDirectoryPath() + L"\\Temp\\";

    void SetUp() override {
        LauncherFixture::SetUp();
        RemoveCompanyKeys();
        ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
        DeleteFileW((machineTemp + L"unpack.log.txt").c_str());
        DeleteFileW((machineTemp + L"unpack.log").c_str());
    }
    void TearDown() override {
        RemoveCompanyKeys();
        DeleteFileW((machineTemp + L"unpack.log.txt").c_str());
        DeleteFileW((machineTemp + L"unpack.log").c_str());
    }

    static DWORD Status() {
        const StoredValue status = ReadValue(HKEY_LOCAL_MACHINE, kProductKeyPath, L"CloudAutoUpdateStatus");
        return status.present ? status.AsDword() : 0xFFFFFFFFu;
    }
    bool LoggedContaining(const std::wstring& part) const {
        for (const std::wstring& m : Messages()) {
            if (m.find(part) != std::wstring::npos) return true;
        }
        return false;
    }
    // A run.bat that leaves a mark named after it in the folder given.
    // Starts the argument branch on the probe and, while the probe runs, renames the
    // temporary folder to moved and puts a link to elsewhere under its name; then lets the
    // run end. The link is gone again afterwards.
    void RunSwappingTempForALink(const std::wstring& moved, const std::wstring& elsewhere) {
        const std::wstring id = std::to_wstring(GetCurrentProcessId());
        const std::wstring startedName = L"sfx-swap-started-" + id, releaseName = L"sfx-swap-release-" + id;
        HANDLE started = CreateProbeEvent(startedName);
        HANDLE release = CreateProbeEvent(releaseName);
        ASSERT_NE(started, nullptr);
        ASSERT_NE(release, nullptr);
        const std::wstring tempFolder = temp.substr(0, temp.size() - 1);

        HANDLE process = StartProcess(Quote(package) + L" " + Quote(ProbePath()) + L" /x",
                                      {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_STARTED", startedName},
                                       {L"PROBE_WAIT", releaseName}});
        ASSERT_NE(process, nullptr);
        const bool running = WaitForSingleObject(started, 60000) == WAIT_OBJECT_0;
        const bool swapped =
            running && MoveFileW(tempFolder.c_str(), moved.c_str()) && PlantUnixSymlink(elsewhere, tempFolder);
        SetEvent(release);
        const bool ended = WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(process, 1);
        CloseHandle(process);
        CloseHandle(started);
        CloseHandle(release);
        RemoveUnixLink(tempFolder);
        ASSERT_TRUE(running) << "the launched program did not start";
        ASSERT_TRUE(swapped) << "the temporary folder could not be swapped for a link";
        ASSERT_TRUE(ended);
    }
    static std::string MarkingBat(const std::wstring& folder, const char* mark) {
        return std::string("@echo ran> \"") + Narrow(folder) + mark + "\"\r\n";
    }
};

// A running program can be renamed and another file put under its name: the launcher must
// unpack the file it runs from, or nothing. Started suspended, the swap lands between the
// start and any code of the launcher, the window an attacker aims for.
TEST_F(UserEnvironmentTest, AFileSwappedUnderTheRunningImageIsNotUnpacked) {
    Pack({{L"run.bat", MarkingBat(root.Path(), "started-ran.txt")}});
    const std::wstring started = root / L"started.exe";
    ASSERT_TRUE(MoveFileW(package.c_str(), started.c_str()));
    Pack({{L"run.bat", MarkingBat(root.Path(), "swapped-ran.txt")}});
    const std::wstring swapped = package;
    ASSERT_TRUE(MoveFileW(swapped.c_str(), (root / L"swapped.exe").c_str()));
    ASSERT_TRUE(MoveFileW(started.c_str(), package.c_str()));

    auto runWithSwap = [&](bool swap) {
        std::wstring environment = EnvironmentBlock({{L"TMP", temp}, {L"TEMP", temp}});
        std::wstring line = Quote(package);
        line.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                            &environment[0], nullptr, &startup, &info)) {
            return false;
        }
        if (swap) {
            EXPECT_TRUE(MoveFileW(package.c_str(), (root / L"renamed-away.exe").c_str()));
            EXPECT_TRUE(CopyFileW((root / L"swapped.exe").c_str(), package.c_str(), FALSE));
        }
        ResumeThread(info.hThread);
        const bool ended = WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0;
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return ended;
    };

    // The same start without the swap runs the package: the suspended start is no obstacle.
    ASSERT_TRUE(runWithSwap(false));
    ASSERT_TRUE(FileExists(root / L"started-ran.txt"));
    DeleteFileW((root / L"started-ran.txt").c_str());
    DeleteFileW((temp + L"unpack.log").c_str());

    ASSERT_TRUE(runWithSwap(true));
    EXPECT_FALSE(FileExists(root / L"swapped-ran.txt")) << "the package of the file put in its place ran";
    EXPECT_FALSE(FileExists(root / L"started-ran.txt")) << "read through another file than its own";
    EXPECT_TRUE(Logged(L"[CUnPack::FindHeader] not the running image:" + package));
    EXPECT_TRUE(LoggedContaining(L"package not unpacked whole: the file under the program's name is not the program"));
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_EQ(Status(), 999u);
}

// The folder the launcher is started from (Downloads, say) is the user's: a library put there
// under the name of a system library must never be loaded, neither while the loader resolves
// the image's imports and what they import in turn, before any code of the launcher runs,
// nor later. Under Wine the static imports' own imports (shell32 importing shlwapi importing
// shcore) are looked for beside the program first.
TEST_F(UserEnvironmentTest, NoLibraryBesideTheLauncherIsLoaded) {
    Pack({{L"run.bat", "@echo ran\r\n"}});
    const std::wstring downloads = root / L"downloads\\";
    ASSERT_TRUE(CreateDirectoryW(downloads.c_str(), nullptr));
    const std::wstring started = downloads + L"VADuVavuVazo.exe";
    ASSERT_TRUE(CopyFileW(package.c_str(), started.c_str(), FALSE));
    const wchar_t* const names[] = {
        L"shcore",   L"shlwapi",   L"shell32",  L"version",  L"imm32",    L"cryptbase", L"cryptsp",
        L"uxtheme",  L"dwmapi",    L"propsys",  L"profapi",  L"wtsapi32", L"userenv",   L"sspicli",
        L"secur32",  L"wldp",      L"edputil",  L"iertutil", L"urlmon",   L"netapi32",  L"netutils",
        L"srvcli",   L"wkscli",    L"samcli",   L"logoncli", L"cfgmgr32", L"vaultcli",  L"TextShaping",
        L"comctl32", L"msimg32",   L"ntmarta",  L"winmm",    L"apphelp",  L"msctf",     L"oleacc",
        L"ole32",    L"oleaut32",  L"combase",  L"rpcrt4",   L"setupapi", L"wintrust",  L"crypt32",
        L"bcrypt",   L"mpr",       L"windows.storage"};
    const std::wstring library = BinaryFolder() + L"probe_library.dll";
    for (const wchar_t* name : names) {
        ASSERT_TRUE(CopyFileW(library.c_str(), (downloads + name + L".dll").c_str(), FALSE)) << Narrow(name);
    }
    ASSERT_TRUE(CopyFileW(library.c_str(), (downloads + L"winspool.drv").c_str(), FALSE));
    const std::wstring loaded = root / L"loaded.txt";

    HANDLE process = StartProcess(Quote(started), {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_LIBRARY_OUT", loaded}},
                                  downloads);
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
    CloseHandle(process);
    EXPECT_FALSE(FileExists(loaded)) << "loaded from the start folder:\n" << Narrow(ReadUtf16(loaded));
    EXPECT_EQ(Text(temp + L"unpack.log.txt"), "ran\r\n");
    EXPECT_EQ(Status(), 0u);
}

// cmd.exe expands %NAME% even inside quotation marks, and the batch output's path goes into
// its command: a temporary folder named x%Q% with Q = '" & command & "' ran the command.
TEST_F(UserEnvironmentTest, ATemporaryPathIsNeverReadAsInterpreterSyntax) {
    Pack({{L"run.bat", "@echo ran\r\n"}});
    const std::wstring hostile = root / L"x%Q%\\";
    ASSERT_TRUE(CreateDirectoryW(hostile.c_str(), nullptr));
    const std::wstring injected = root / L"injected.txt";
    const RunResult run = RunLauncher(package, hostile, L"",
                                      {{L"Q", L"\" & echo injected> \"" + injected + L"\" & \""}});
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(FileExists(injected)) << "a command from the environment ran";
    // The log stays where people look for it; the work and the output go to the machine's folder.
    const std::vector<std::wstring> m = LogMessages(hostile + L"unpack.log");
    EXPECT_NE(std::find(m.begin(), m.end(),
                        L"[CUnPack::GetWorkFolder] temporary folder " + hostile +
                            L" not used (characters the interpreter reads as syntax), work folder and batch output in:" +
                            machineTemp),
              m.end());
    EXPECT_EQ(Text(machineTemp + L"unpack.log.txt"), "ran\r\n");
    EXPECT_FALSE(FileExists(hostile + L"unpack.log.txt"));
    EXPECT_FALSE(FileExists(machineTemp + L"unpack"));
    EXPECT_EQ(Status(), 0u);
}

// A link on the temporary folder's way could be turned elsewhere between the extraction and
// the launch; the machine's folder takes the run. The log goes there too: written through
// the link, an elevated run would make or append to a file wherever the link leads.
TEST_F(UserEnvironmentTest, ATemporaryFolderReachedThroughALinkIsPassedOver) {
    Pack({{L"run.bat", "@echo ran\r\n"}});
    const std::wstring elsewhere = root / L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((elsewhere + L"\\Temp").c_str(), nullptr));
    const std::wstring link = root / L"link";
    ASSERT_TRUE(PlantUnixSymlink(elsewhere, link));
    const std::wstring linkedTemp = link + L"\\Temp\\";

    const RunResult run = RunLauncher(package, linkedTemp);
    RemoveUnixLink(link);
    ASSERT_TRUE(run.finished);
    const std::vector<std::wstring> m = LogMessages(machineTemp + L"unpack.log");
    EXPECT_NE(std::find(m.begin(), m.end(),
                        L"[CUnPack::GetWorkFolder] temporary folder " + linkedTemp +
                            L" not used (a link on its way), work folder and batch output in:" + machineTemp),
              m.end());
    EXPECT_EQ(ListFolder(elsewhere + L"\\Temp\\"), L".\n..\n") << "written through the link";
    EXPECT_EQ(Text(machineTemp + L"unpack.log.txt"), "ran\r\n");
    EXPECT_EQ(Status(), 0u);
}

// The check of the temporary folder is made once, but the log is written line by line
// throughout the run, each time by its path: the user can rename the folder away between two
// lines (nothing holds it then) and put a link under its name. Here the swap is made while
// the launched program runs; the lines that follow must still land in the folder that was
// checked, wherever it is by now, never where the link leads.
TEST_F(UserEnvironmentTest, ATemporaryFolderSwappedForALinkDuringTheRunGetsNoLineThroughIt) {
    Pack({{L"run.bat", "@echo ran\r\n"}});
    const std::wstring moved = root / L"tmp-moved";
    const std::wstring elsewhere = root / L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(RunSwappingTempForALink(moved, elsewhere));

    EXPECT_EQ(ListFolder(elsewhere + L"\\"), L".\n..\n") << "written through the link";
    const std::vector<std::wstring> m = LogMessages(moved + L"\\unpack.log");
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back().rfind(L"[CUnPackFileApp::InitInstance] execute done code:0", 0), 0u) << Narrow(m.back());
}

// The same swap, aimed at the clean-up: with a folder "unpack" where the link leads, the
// removal of the work folder by its path would empty that folder instead of the run's own.
TEST_F(UserEnvironmentTest, ATemporaryFolderSwappedForALinkDuringTheRunIsNotEmptiedThroughIt) {
    Pack({{L"run.bat", "@echo ran\r\n"}});
    const std::wstring moved = root / L"tmp-moved";
    const std::wstring elsewhere = root / L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((elsewhere + L"\\unpack").c_str(), nullptr));
    ASSERT_TRUE(WriteText(elsewhere + L"\\unpack\\precious.txt", "precious"));
    ASSERT_NO_FATAL_FAILURE(RunSwappingTempForALink(moved, elsewhere));

    EXPECT_EQ(Text(elsewhere + L"\\unpack\\precious.txt"), "precious") << "emptied through the link";
}

// The user's own windir, ComSpec, PATHEXT or ProgramFiles would redirect what run.bat starts
// by them; TEMP and TMP stay the user's, since that is where run.bat leaves its results.
TEST_F(UserEnvironmentTest, TheBatchGetsTheMachinesVariables) {
    const char* bat =
        "@echo off\r\n"
        ">  \"%TEMP%\\vars.txt\" echo windir=%windir%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo SystemRoot=%SystemRoot%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo ComSpec=%ComSpec%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo PATHEXT=%PATHEXT%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo ProgramFiles=%ProgramFiles%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo Path=%Path%\r\n"
        ">> \"%TEMP%\\vars.txt\" echo Other=%SFX_OTHER%\r\n";
    Pack({{L"run.bat", bat}});
    const std::wstring planted = root / L"planted";
    const RunResult run = Run(L"", {{L"windir", planted}, {L"SystemRoot", planted}, {L"ComSpec", planted + L"\\cmd.exe"},
                                    {L"PATHEXT", L".PLANTED"}, {L"ProgramFiles", planted},
                                    {L"Path", planted}, {L"SFX_OTHER", L"passes"}});
    ASSERT_TRUE(run.finished);
    const std::string vars = Text(temp + L"vars.txt");
    ASSERT_FALSE(vars.empty()) << "run.bat did not run";
    EXPECT_EQ(vars.find("planted"), std::string::npos) << vars;
    EXPECT_EQ(vars.find("PLANTED"), std::string::npos) << vars;
    const std::string systemRoot = Narrow(GetSystemWindowsDirectoryPath());
    EXPECT_NE(vars.find("windir=" + systemRoot + "\r\n"), std::string::npos) << vars;
    EXPECT_NE(vars.find("SystemRoot=" + systemRoot + "\r\n"), std::string::npos) << vars;
    EXPECT_NE(vars.find("Other=passes\r\n"), std::string::npos) << vars;
    EXPECT_EQ(Status(), 0u);
}

// More of the user's variables steer what run.bat starts: SystemDrive, ALLUSERSPROFILE and
// PUBLIC name system folders as windir does; with NoDefaultCurrentDirectoryInExePath the
// interpreter looks for run.bat and the bare names in it on the machine's Path instead of
// the work folder; the profiler variables of .NET load a library of the user's choice into
// every .NET program run.bat starts (PowerShell among them), and DOTNET_STARTUP_HOOKS an
// assembly. Wine's interpreter ignores NoDefaultCurrentDirectoryInExePath and Wine runs no
// .NET here, so what is checked is what the batch is handed.
TEST_F(UserEnvironmentTest, NoVariableOfTheUserRedirectsWhatTheBatchStarts) {
    Pack({{L"run.bat", "@set > \"%TEMP%\\vars.txt\"\r\n"}});
    const std::wstring planted = root / L"planted";
    const EnvOverrides user = {
        {L"SystemDrive", L"P:"},
        {L"ALLUSERSPROFILE", planted},
        {L"PUBLIC", planted},
        {L"NoDefaultCurrentDirectoryInExePath", L"planted"},
        {L"COR_ENABLE_PROFILING", L"planted"},
        {L"COR_PROFILER", L"{planted}"},
        {L"COR_PROFILER_PATH", planted + L".dll"},
        {L"COR_PROFILER_PATH_64", planted + L".dll"},
        {L"CORECLR_ENABLE_PROFILING", L"planted"},
        {L"CORECLR_PROFILER", L"{planted}"},
        {L"CORECLR_PROFILER_PATH", planted + L".dll"},
        {L"DOTNET_STARTUP_HOOKS", planted + L".dll"},
    };
    ASSERT_TRUE(Run(L"", user).finished);
    const std::string vars = Text(temp + L"vars.txt");
    ASSERT_FALSE(vars.empty()) << "run.bat did not run";
    // Names compared as the interpreter prints them: NAME=value at the start of a line.
    auto value = [&vars](const std::string& name) {
        std::string upperVars = vars, upperName = name;
        for (char& c : upperVars) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        for (char& c : upperName) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        const size_t at = ("\n" + upperVars).find("\n" + upperName + "=");
        if (at == std::string::npos) return std::string("(none)");
        const size_t start = at + name.size() + 1;
        return vars.substr(start, vars.find_first_of("\r\n", start) - start);
    };
    for (const auto& [name, planting] : user) {
        EXPECT_EQ(value(Narrow(name)).find(Narrow(planting)), std::string::npos)
            << Narrow(name) << " reached the batch as the user set it";
    }
    const std::string systemRoot = Narrow(GetSystemWindowsDirectoryPath());
    EXPECT_EQ(value("SystemDrive"), systemRoot.substr(0, 2));
    EXPECT_EQ(value("ALLUSERSPROFILE"), value("ProgramData"));
    EXPECT_EQ(Status(), 0u);
}

// The argument branch never takes a bare name from the folder the launcher was started in
// (Downloads, say), nor from PATH: only from the work folder or the system folder.
TEST_F(UserEnvironmentTest, ABareProgramNameIsNotTakenFromTheStartFolderOrPath) {
    Pack({{L"run.bat", "@echo ran\r\n"}, {L"payload.txt", "p"}});
    const std::wstring downloads = root / L"downloads";
    ASSERT_TRUE(CreateDirectoryW(downloads.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(ProbePath().c_str(), (downloads + L"\\setup.exe").c_str(), FALSE));
    const std::wstring record = root / L"probe.txt";

    HANDLE process = StartProcess(Quote(package) + L" setup.exe /quiet",
                                  {{L"TMP", temp}, {L"TEMP", temp}, {L"PROBE_OUT", record}, {L"Path", downloads}},
                                  downloads);
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
    CloseHandle(process);
    EXPECT_FALSE(FileExists(record)) << "a program from the start folder ran elevated";
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] setup.exe is in neither the work folder nor the system folder"));
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_EQ(Status(), 999u);
}

TEST_F(UserEnvironmentTest, ABareProgramNameIsTakenFromTheWorkFolder) {
    const std::vector<uint8_t> probe = ReadBytes(ProbePath());
    ASSERT_TRUE(WriteBytes(inputs + L"tool.exe", probe));
    ASSERT_TRUE(WriteText(inputs + L"run.bat", "@echo ran\r\n"));
    std::string error;
    ASSERT_TRUE(sfx::CreatePackage(Narrow(LauncherPath()), {Narrow(inputs + L"run.bat"), Narrow(inputs + L"tool.exe")},
                                   Narrow(package), &error))
        << error;
    const std::wstring record = root / L"probe.txt";
    const RunResult run = Run(L"tool.exe /x", {{L"PROBE_OUT", record}});
    ASSERT_TRUE(run.finished);
    const std::vector<std::wstring> lines = SplitLines(ReadUtf16(record));
    ASSERT_GE(lines.size(), 3u) << "the work folder's tool.exe did not run";
    EXPECT_EQ(lines[2], L"exe=" + WorkFolder() + L"tool.exe");
    EXPECT_EQ(Status(), 0u);
}

// An entry that cannot be written after run.bat was: run.bat would run with files missing
// and the run would be recorded as a success.
TEST_F(UserEnvironmentTest, NothingIsStartedAfterABrokenExtraction) {
    RawPackage raw(ReadBytes(LauncherPath()));
    raw.Add("run.bat", MarkingBat(root.Path(), "ran.txt"));
    raw.Add("bad|name.txt", "refused by the platform");
    raw.Add("after.txt", "still unpacked");
    ASSERT_TRUE(WriteBytes(package, raw.Build()));
    const RunResult run = Run();
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(FileExists(root / L"ran.txt")) << "run.bat ran after a broken extraction";
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] package not unpacked whole: entry 2 not written whole"));
    EXPECT_EQ(Messages().back(), L"[CUnPackFileApp::InitInstance] execute fail");
    EXPECT_EQ(Status(), 999u);

    // The argument branch as well.
    const std::wstring record = root / L"probe.txt";
    ASSERT_TRUE(Run(Quote(ProbePath()) + L" /x", {{L"PROBE_OUT", record}}).finished);
    EXPECT_FALSE(FileExists(record));
    EXPECT_EQ(Status(), 999u);
}

}  // namespace
