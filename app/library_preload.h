// Takes the current directory out of the library search path and loads the system
// libraries the program and the platform pull in later by full path, so that no copy
// planted beside the program or in the current directory can be picked up.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Full paths of the libraries to preload from systemDirectory, in load order:
// winspool.drv first, then the listed DLLs. Empty when the directory is unknown, since
// an empty directory part would name the root of the current drive.
std::vector<std::wstring> SystemLibraryPaths(const std::wstring& systemDirectory);

// Makes the system folder the only place libraries are loaded from by name
// (SetDefaultDllDirectories); FALSE where the system does not offer it.
BOOL RestrictLibrariesToSystemFolder();
// Turns on the redirection trust mitigation where the system has it; nothing otherwise.
void EnforceRedirectionTrust();
// Both, then pins the search path and loads those libraries; results are not looked at.
void HardenLibrarySearchPath();
