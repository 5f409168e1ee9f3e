// The application object: its InitInstance does the launcher's whole job in one pass.
#pragma once

#include "app/launch_command.h"
#include "framework/win_app.h"

class CBatchOutputFile;
class CSingleInstance;
class CUnPack;

class CUnPackFileApp : public CWinApp {
public:
    // guard: the single-instance guard of the run, which may still be unconstructed when
    // this object is (it is only asked in InitInstance).
    explicit CUnPackFileApp(const CSingleInstance* guard);
    ~CUnPackFileApp() override;

    // Unpacks the package, runs its command, waits for it and cleans up. Returns FALSE on
    // every path that gets past the start-up checks.
    BOOL InitInstance() override;

    // Stores the code carried in the program's own file name, if it carries one.
    void ApplyFileNameCode();

private:
    const CSingleInstance* m_pInstanceGuard;

    // The command of the branch the command line asks for; for the batch, batchOutput
    // claims (and holds) the file its output goes to.
    static LaunchCommand BuildCommand(CUnPack& unpacker, CBatchOutputFile& batchOutput);
    // TRUE when the command was started (and has ended, when there was a process).
    static BOOL LaunchAndWait(CUnPack& unpacker, const LaunchCommand& command,
                              CBatchOutputFile& batchOutput);
    // TRUE when the command may be started: the work folder is this run's own and, for the
    // batch, run.bat was unpacked by this run and the output file is claimed (and held).
    static BOOL MayLaunch(CUnPack& unpacker, const LaunchCommand& command,
                          const CBatchOutputFile& batchOutput);
};
