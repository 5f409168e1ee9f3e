#pragma once

#include <windows.h>

// Waits until process has ended and returns its exit code. The handle is waited on in
// rounds of pollMs, so the end is noticed at once, also for a child whose own exit code
// is 259 (STILL_ACTIVE), and a running child is looked at once per round.
DWORD WaitForChildExit(HANDLE process, DWORD pollMs = 3000);
