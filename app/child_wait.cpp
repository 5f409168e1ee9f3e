#include "app/child_wait.h"

DWORD WaitForChildExit(HANDLE process, DWORD pollMs) {
    DWORD exitCode = STILL_ACTIVE;
    for (;;) {
        const DWORD waited = WaitForSingleObject(process, pollMs);
        const BOOL read = GetExitCodeProcess(process, &exitCode);
        if (waited == WAIT_OBJECT_0) return exitCode;
        if (waited == WAIT_FAILED) {
            // A handle that cannot be waited on is polled the plain way instead.
            if (!read || exitCode != STILL_ACTIVE) return exitCode;
            Sleep(pollMs);
        }
    }
}
