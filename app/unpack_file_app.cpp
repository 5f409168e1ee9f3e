#include "app/unpack_file_app.h"

#include <shellapi.h>
#include <stdlib.h>

#include "app/child_wait.h"
#include "package/unpack.h"
#include "util/file_system.h"
#include "util/log.h"

namespace {
const wchar_t kTag[] = L"CUnPackFileApp::InitInstance";
}

CUnPackFileApp::CUnPackFileApp() : CWinApp(nullptr) {}

CUnPackFileApp::~CUnPackFileApp() = default;

BOOL CUnPackFileApp::InitInstance() {
    // Platform and single-instance checks, and the platform line, go here.

    CUnPack unpacker;
    unpacker.Run();

    // The settings carried in the program's file name are stored here.

    const LaunchCommand command = BuildCommand(unpacker);
    WriteLog(L"[%s] dir:%s file:%s param:%s", kTag, unpacker.GetWorkFolder().c_str(),
             command.file.c_str(), command.parameters.c_str());

    // The start time is recorded here.

    LaunchAndWait(unpacker, command);
    return FALSE;
}

LaunchCommand CUnPackFileApp::BuildCommand(CUnPack& unpacker) {
    LaunchCommand command;
    if (IsArgumentBranch(__argc)) {
        command.file = __wargv[1];
        command.parameters = BuildArgumentParameters(GetCommandLineW(), __argc, __wargv);
        command.directory = unpacker.GetWorkFolder();
        command.show = SW_SHOWNORMAL;
        return command;
    }
    command.file = L"cmd.exe";
    // The interpreter inherits the current directory, where run.bat lies.
    SetCurrentDirectoryW(unpacker.GetWorkFolder().c_str());
    command.parameters = BuildBatchParameters(GetLogFilePath());
    command.show = SW_HIDE;
    return command;
}

void CUnPackFileApp::LaunchAndWait(CUnPack& unpacker, const LaunchCommand& command) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = nullptr;
    request.lpVerb = L"open";
    request.lpFile = command.file.c_str();
    request.lpParameters = command.parameters.c_str();
    request.lpDirectory = command.directory.empty() ? nullptr : command.directory.c_str();
    request.nShow = command.show;

    // A work folder that is a link someone else planted holds their files, not ours:
    // nothing is started in it, as if the launch had failed.
    const BOOL ownFolder = IsPlainFolder(unpacker.GetWorkFolder());
    if (!ownFolder) WriteLog(L"[%s] work folder refused:%s", kTag, unpacker.GetWorkFolder().c_str());
    if (!ownFolder || !ShellExecuteExW(&request)) {
        WriteLog(L"[%s] execute fail", kTag);
        // The failed launch is recorded here; the work folder stays for inspection.
        return;
    }
    WriteLog(L"[%s] execute succ 0x%08X", kTag,
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(request.hProcess)));
    if (request.hProcess != nullptr) {
        WriteLog(L"[%s] execute wait pid:%d", kTag, static_cast<int>(GetProcessId(request.hProcess)));
        const DWORD exitCode = WaitForChildExit(request.hProcess);
        CloseHandle(request.hProcess);
        unpacker.RemoveWorkFolder();
        WriteLog(L"[%s] execute done code:%d", kTag, static_cast<int>(exitCode));
    }
    // The outcome is recorded here.
}
