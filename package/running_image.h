// Whether a file is the one this process runs from. A running program can be renamed and
// another file put under its name, so a path names the running image only at the moment
// it was started: what the launcher unpacks must come from the very file the system mapped.
#pragma once

#include <windows.h>

// TRUE when the open file (read and execute access) is the file mapped as this process's
// image: it is mapped as an image itself and the two mappings compared by the system.
// FALSE when it is another file or the question cannot be answered.
BOOL IsRunningImage(HANDLE file);
