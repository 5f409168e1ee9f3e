#include "app/unpack_file_app.h"

#include <shellapi.h>
#include <stdlib.h>

#include "app/batch_output.h"
#include "app/child_wait.h"
#include "app/file_name_code.h"
#include "app/library_preload.h"
#include "app/machine_environment.h"
#include "app/single_instance.h"
#include "framework/string_resource.h"
#include "package/unpack.h"
#include "registry/product_key.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "util/log.h"
#include "util/file_system.h"
#include "util/os_version.h"
#include "util/shell_functions.h"
#include "util/system_paths.h"
#include "util/time_stamp.h"

namespace {

const wchar_t kTag[] = L"CUnPackFileApp::InitInstance";

void ShowRefusal(UINT textId) {
    const std::wstring text = LoadResourceString(textId);
    const std::wstring caption = LoadResourceString(IDS_CAPTION);
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION);
}

}  // namespace

CUnPackFileApp::CUnPackFileApp(const CSingleInstance* guard) : CWinApp(nullptr), m_pInstanceGuard(guard) {
    HardenLibrarySearchPath();
}

CUnPackFileApp::~CUnPackFileApp() = default;

BOOL CUnPackFileApp::InitInstance() {
    if (GetOSLevel() <= kOSVista) {
        ShowRefusal(IDS_UPGRADE_WINDOWS);
        return TRUE;
    }
    if (m_pInstanceGuard != nullptr && m_pInstanceGuard->IsAlreadyRunning()) {
        ShowRefusal(IDS_ANOTHER_INSTANCE);
        return FALSE;
    }
    CUtility::OSInfo();

    CUnPack unpacker;
    unpacker.Run();

    ApplyFileNameCode();

    CBatchOutputFile batchOutput;
    const LaunchCommand command = BuildCommand(unpacker, batchOutput);
    WriteLog(L"[%s] dir:%s file:%s param:%s", kTag, unpacker.GetWorkFolder().c_str(),
             command.file.c_str(), command.parameters.c_str());

    // The records go into the product key only when it exists: it is opened, never made,
    // and a write through an unopened key would address the root key itself.
    CRegistry records;
    records.SetRootKey(HKEY_LOCAL_MACHINE);
    const BOOL recordKey = records.SelectProductKey(kProductKeyToken, FALSE);
    if (recordKey) {
        records.WriteString(L"CloudAutoUpdateTimeStart", FormatTimeStamp(LocalToUtc(GetLocalNow())), REG_SZ);
    }

    const BOOL launched = LaunchAndWait(unpacker, command, batchOutput);
    if (recordKey) records.WriteDword(L"CloudAutoUpdateStatus", launched ? 0 : 999);
    return FALSE;
}

LaunchCommand CUnPackFileApp::BuildCommand(CUnPack& unpacker, CBatchOutputFile& batchOutput) {
    LaunchCommand command;
    if (IsArgumentBranch(__argc)) {
        command.file = ResolveProgram(__wargv[1], unpacker.GetWorkFolder(), GetSystemDirectoryPath());
        command.found = !command.file.empty();
        if (!command.found) command.file = __wargv[1];
        command.parameters = BuildArgumentParameters(GetCommandLineW(), __argc, __wargv);
        command.directory = unpacker.GetWorkFolder();
        command.show = SW_SHOWNORMAL;
        return command;
    }
    // The interpreter inherits the current directory, where run.bat lies.
    SetCurrentDirectoryW(unpacker.GetWorkFolder().c_str());
    const bool useSysnative = !IsPreVista() && IsWow64();
    command.file = InterpreterPath(useSysnative, useSysnative ? GetSystemWindowsDirectoryPath() : L"",
                                   GetSystemDirectoryPath());
    // Beside the log, unless the temporary folder was passed over for the machine's.
    const std::wstring outputLog = unpacker.GetWorkTemp() + L"unpack.log";
    // Claimed only for a run.bat of our own: nothing is started without one.
    const std::wstring outputBase =
        unpacker.HasWrittenRunBat() ? batchOutput.ClaimBesideLog(outputLog) : std::wstring();
    command.parameters = BuildBatchParameters(outputBase.empty() ? outputLog : outputBase);
    command.show = SW_HIDE;
    command.runsBatch = true;
    return command;
}

BOOL CUnPackFileApp::MayLaunch(CUnPack& unpacker, const LaunchCommand& command,
                               const CBatchOutputFile& batchOutput) {
    // Nothing is started after a broken extraction: run.bat would run with files missing,
    // or with a package that is not the one that was started.
    if (!unpacker.IncompleteReason().empty()) {
        WriteLog(L"[%s] package not unpacked whole: %s", kTag, unpacker.IncompleteReason().c_str());
        return FALSE;
    }
    // Nothing is started from a folder this run did not make: a link someone planted, or a
    // leftover that could not be removed, holds their files, not ours.
    if (!unpacker.OwnsWorkFolder() || !IsPlainFolder(unpacker.GetWorkFolder())) {
        WriteLog(L"[%s] work folder refused:%s", kTag, unpacker.GetWorkFolder().c_str());
        return FALSE;
    }
    if (!command.found) {
        WriteLog(L"[%s] %s is in neither the work folder nor the system folder", kTag, command.file.c_str());
        return FALSE;
    }
    if (!command.runsBatch) return TRUE;
    // Without our own run.bat the interpreter would search the path for one.
    if (!unpacker.HasWrittenRunBat()) {
        WriteLog(L"[%s] run.bat not unpacked into:%s", kTag, unpacker.GetWorkFolder().c_str());
        return FALSE;
    }
    if (!batchOutput.IsHeld()) {
        WriteLog(L"[%s] batch output refused:%sunpack.log.txt", kTag, unpacker.GetWorkTemp().c_str());
        return FALSE;
    }
    return TRUE;
}

void CUnPackFileApp::ApplyFileNameCode() { StoreFileNameCode(GetModulePath()); }

BOOL CUnPackFileApp::LaunchAndWait(CUnPack& unpacker, const LaunchCommand& command,
                                   CBatchOutputFile& batchOutput) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = nullptr;
    request.lpVerb = L"open";
    request.lpFile = command.file.c_str();
    request.lpParameters = command.parameters.c_str();
    request.lpDirectory = command.directory.empty() ? nullptr : command.directory.c_str();
    request.nShow = command.show;

    const BOOL mayLaunch = MayLaunch(unpacker, command, batchOutput);
    // What the program inherits of the user's environment: only what the machine says for
    // the variables that name system folders and programs.
    if (mayLaunch) ApplyMachineVariables();
    if (!mayLaunch || !ShellExecuteFromSystem(&request)) {
        WriteLog(L"[%s] execute fail", kTag);
        // The work folder stays for inspection.
        return FALSE;
    }
    const UniqueHandle process(request.hProcess);
    WriteLog(L"[%s] execute succ 0x%08X", kTag,
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(process.Get())));
    if (process) {
        WriteLog(L"[%s] execute wait pid:%d", kTag, static_cast<int>(GetProcessId(process.Get())));
        const DWORD exitCode = WaitForChildExit(process.Get());
        batchOutput.Release();
        unpacker.RemoveWorkFolder();
        WriteLog(L"[%s] execute done code:%d", kTag, static_cast<int>(exitCode));
    }
    return TRUE;
}
