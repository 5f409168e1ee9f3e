#include "tools/sfxpack/base/interruption.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "tools/sfxpack/base/utf8.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace sfx {
namespace {

enum SlotKind : int { kFree = 0, kFileSlot, kFolderSlot, kChildSlot };

// Fixed slots, so the handler walks plain memory. The text behind a slot is allocated and
// freed only with interruptions held; the handler only reads it.
struct Slot {
    volatile int kind = kFree;
#ifdef _WIN32
    wchar_t* path = nullptr;
    HANDLE process = nullptr;
    HANDLE job = nullptr;
#else
    char* path = nullptr;
    pid_t pid = 0;
#endif
};

constexpr int kSlots = 16;
Slot g_slots[kSlots];
char* g_undone = nullptr;
volatile int g_progressLineOpen = 0;

int TakeSlot(int kind) {
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind == kFree) {
            g_slots[i].kind = kind;
            return i;
        }
    }
    return -1;
}

void FreeSlot(int token) {
    if (token < 0 || token >= kSlots) return;
    Slot& slot = g_slots[token];
    slot.kind = kFree;
    delete[] slot.path;
    slot.path = nullptr;
}

// Appends text to buffer (of size capacity, already holding *length bytes), cutting it short
// rather than overflowing: used inside the handler, so no allocation.
void Append(char* buffer, size_t capacity, size_t* length, const char* text) {
    while (*text != '\0' && *length + 1 < capacity) buffer[(*length)++] = *text++;
    buffer[*length] = '\0';
}

// The one line the handler writes, into a fixed buffer.
size_t InterruptionLine(const char* cause, char* line, size_t capacity) {
    size_t length = 0;
    line[0] = '\0';
    if (g_progressLineOpen) Append(line, capacity, &length, "\n");
    Append(line, capacity, &length, "sfxpack: interrupted by ");
    Append(line, capacity, &length, cause);
    if (g_undone != nullptr) {
        Append(line, capacity, &length, "; ");
        Append(line, capacity, &length, g_undone);
    }
    // The newline must survive a cut.
    if (length + 1 >= capacity) length = capacity - 2;
    line[length++] = '\n';
    line[length] = '\0';
    return length;
}

char* CopyText(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

#ifdef _WIN32

// Held by InterruptionsHeld and, for good, by the handler: the console handler runs on a
// thread of its own while the main thread goes on.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};
Lock g_lock;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const char* cause = nullptr;
    UINT code = 0;
    switch (event) {
        case CTRL_C_EVENT:
            cause = "Ctrl-C";
            code = 130;
            break;
        case CTRL_BREAK_EVENT:
            cause = "Ctrl-Break";
            code = 130;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            cause = "the console closing";
            code = 129;  // as SIGHUP
            break;
        default:
            return FALSE;
    }
    // Never left: the process ends below, and the main thread waits here at its next step.
    EnterCriticalSection(&g_lock.section);
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind != kChildSlot) continue;
        TerminateJobObject(g_slots[i].job, code);
        WaitForSingleObject(g_slots[i].process, 5000);
    }
    // Files before folders, which hold nothing else of ours. A temporary file still open
    // here was made with delete sharing, so it goes once the process ends.
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind == kFileSlot) DeleteFileW(g_slots[i].path);
    }
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind == kFolderSlot) RemoveDirectoryW(g_slots[i].path);
    }
    char line[1024];
    const size_t length = InterruptionLine(cause, line, sizeof line);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    ExitProcess(code);
    return TRUE;
}

#else

const int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void HandledSignals(sigset_t* set) {
    sigemptyset(set);
    for (const int s : kHandledSignals) sigaddset(set, s);
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "SIGHUP";
    }
}

// Runs with the other handled signals blocked, and ends the process: a second signal waits
// for good. Only async-signal-safe calls.
void OnSignal(int signal) {
    // Children first: they may be writing into a temporary folder of ours. SIGKILL, since a
    // child that would clean up after itself has nothing of its own outside our temporaries.
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind != kChildSlot) continue;
        kill(-g_slots[i].pid, SIGKILL);
        kill(g_slots[i].pid, SIGKILL);
        while (waitpid(g_slots[i].pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    // Files before folders, which hold nothing else of ours.
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind == kFileSlot) unlink(g_slots[i].path);
    }
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind == kFolderSlot) rmdir(g_slots[i].path);
    }
    char line[1024];
    const size_t length = InterruptionLine(SignalName(signal), line, sizeof line);
    ssize_t ignored = write(STDERR_FILENO, line, length);
    (void)ignored;
    _exit(128 + signal);
}

#endif

}  // namespace

#ifdef _WIN32

void InstallInterruptionHandlers() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptionsHeld::InterruptionsHeld() {
    EnterCriticalSection(&g_lock.section);
}

InterruptionsHeld::~InterruptionsHeld() {
    LeaveCriticalSection(&g_lock.section);
}

int RegisterTemporary(const std::string& path, TemporaryKind kind) {
    std::wstring wide;
    if (!WidenUtf8(path, &wide)) return -1;
    InterruptionsHeld held;
    const int token = TakeSlot(kind == TemporaryKind::kFile ? kFileSlot : kFolderSlot);
    if (token < 0) return -1;
    g_slots[token].path = new wchar_t[wide.size() + 1];
    std::memcpy(g_slots[token].path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    return token;
}

void ForgetTemporary(int token) {
    InterruptionsHeld held;
    FreeSlot(token);
}

int RegisterChild(HANDLE process, HANDLE job) {
    InterruptionsHeld held;
    const int token = TakeSlot(kChildSlot);
    if (token < 0) return -1;
    g_slots[token].process = process;
    g_slots[token].job = job;
    return token;
}

#else

void InstallInterruptionHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    HandledSignals(&action.sa_mask);
    for (const int s : kHandledSignals) sigaction(s, &action, nullptr);
    // A closed pipe behind standard output is an error to report, not a reason to die.
    signal(SIGPIPE, SIG_IGN);
}

InterruptionsHeld::InterruptionsHeld() {
    sigset_t set;
    HandledSignals(&set);
    sigprocmask(SIG_BLOCK, &set, &previous_);
}

InterruptionsHeld::~InterruptionsHeld() {
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

int RegisterTemporary(const std::string& path, TemporaryKind kind) {
    InterruptionsHeld held;
    const int token = TakeSlot(kind == TemporaryKind::kFile ? kFileSlot : kFolderSlot);
    if (token >= 0) g_slots[token].path = CopyText(path);
    return token;
}

void ForgetTemporary(int token) {
    InterruptionsHeld held;
    FreeSlot(token);
}

int RegisterChild(pid_t pid) {
    InterruptionsHeld held;
    const int token = TakeSlot(kChildSlot);
    if (token >= 0) g_slots[token].pid = pid;
    return token;
}

#endif

void ForgetChild(int token) {
    InterruptionsHeld held;
    FreeSlot(token);
}

void SetUndoneMessage(const std::string& text) {
    char* copy = CopyText(text);
    InterruptionsHeld held;
    delete[] g_undone;
    g_undone = copy;
}

void SetProgressLineOpen(bool open) {
    g_progressLineOpen = open ? 1 : 0;
}

}  // namespace sfx
