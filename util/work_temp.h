// Where the work folder and the batch output go. The user's temporary folder comes from the
// user's own environment, so an elevated run takes it only when nothing in it can redirect
// a later step: no folder on its chain is a link or mount point, its final path is the path
// itself, and it holds no character the command interpreter would read as syntax when the
// batch output's path is put into its command. Otherwise the machine's own temporary folder
// (%SystemRoot%\Temp, from the system, not the environment) takes the run.
#pragma once

#include <string>

#include "framework/handles.h"

// Why temp (a full path ending in a backslash) could send what is written into it elsewhere:
// a link or mount point on its way, a final path other than itself, not a folder on a local
// drive, missing, or unknown (empty); null when nothing can. Then held, when given, takes the
// folder that was checked, opened with every sharing: what is made relative to that handle
// lands in that very folder, whatever its path leads to by then.
const wchar_t* WhyRedirecting(const std::wstring& temp, UniqueHandle* held);

// TRUE when path holds a character cmd.exe treats specially even inside quotation marks
// (% and !, which expand variables) or outside them.
bool HasInterpreterSyntax(const std::wstring& path);

struct WorkTempChoice {
    std::wstring folder;   // ending in a backslash
    std::wstring refused;  // the user's temporary folder when it was passed over, else empty
    std::wstring reason;   // why it was
};

// Decides once per run; see above.
WorkTempChoice ChooseWorkTemp();
