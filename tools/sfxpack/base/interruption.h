// What an interruption (SIGINT, SIGTERM, SIGHUP; Ctrl-C, Ctrl-Break or a closed console on
// Windows) undoes before the process ends: the temporary files and folders this run made
// and the children it started. The handler does only that, with async-signal-safe calls on
// what is registered here, writes one line saying what was left undone and ends the
// process with 128 + the signal number (130 for Ctrl-C). The handler holds every other
// interruption off while it runs, and never returns, so a second signal cannot cut the
// clean-up short.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/types.h>
#endif

namespace sfx {

// Installed once, by main; the registry below works without it (for the tests' in-process
// runs nothing then reacts to signals).
void InstallInterruptionHandlers();

// Holds interruptions off while alive, so that a temporary is made and registered, or moved
// into place and forgotten, in one step for the handler. Nestable.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
#ifndef _WIN32
    sigset_t previous_;
#endif
};

enum class TemporaryKind { kFile, kFolder };

// Registers path to be removed on an interruption: children are ended first, then files
// removed, then folders (which hold nothing but registered files). Returns a token for
// ForgetTemporary, or -1 when the registry is full (it holds more than any verb needs).
// Call it with interruptions held, together with the creation of path.
int RegisterTemporary(const std::string& path, TemporaryKind kind);
void ForgetTemporary(int token);

#ifdef _WIN32
// A child in a job of its own, ended with its whole tree on an interruption.
int RegisterChild(HANDLE process, HANDLE job);
#else
// A child that leads a process group of its own: the group is killed and the child reaped
// on an interruption. Forget it before reaping it, so that its number, once free for
// another process, is never killed.
int RegisterChild(pid_t pid);
#endif
void ForgetChild(int token);

// What the interruption line says was left undone ("'out.exe' was not written"); each verb
// keeps it up to date.
void SetUndoneMessage(const std::string& text);

// While a progress line stands unfinished on the terminal, the interruption line starts on
// a line of its own.
void SetProgressLineOpen(bool open);

}  // namespace sfx
