// The two functions of shell32 the launcher calls, looked up when called. shell32 is a
// KnownDLL, but what it imports in turn need not be one on every system, and a library the
// image imports is loaded with all of that before any code of the launcher runs, with the
// program's own folder (Downloads, say) searched first: Wine does exactly that for shcore.
// Loaded here, after the search path was restricted, shell32 and its imports come from the
// system folder only.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

// ShellExecuteExW of the system folder's shell32; FALSE with ERROR_PROC_NOT_FOUND when it
// cannot be had.
BOOL ShellExecuteFromSystem(SHELLEXECUTEINFOW* request);

// SHGetFolderPathW of the system folder's shell32; E_NOTIMPL when it cannot be had.
HRESULT FolderPathFromSystem(int folder, DWORD flags, wchar_t* path);
