// The launcher's C++ runtime, cut to what it uses.
//
// The launcher raises no exception and nothing in it catches one, so the library's
// exception support could only ever end the process anyway; yet it brings the unwinder,
// the exception classes and, through the default terminate handler, a demangler with its
// own printf: more than half the image. Built without exceptions, the launcher reports a
// failed allocation or a broken container bound through the functions below, and each of
// them ends the process on the spot: no dialog that would hang an unattended run, no
// handler, nothing that could go on with half-made state.
//
// Linked into the launcher image only (and into the test and benchmark programs that stand
// in for it); the tests and sfxpack keep the full runtime.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// The code abort() ends a process with.
constexpr UINT kRuntimeFailureExitCode = 3;

[[noreturn]] void EndProcessNow() {
    TerminateProcess(GetCurrentProcess(), kRuntimeFailureExitCode);
    // TerminateProcess does not come back for the calling process; should it, stay put.
    for (;;) Sleep(INFINITE);
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) EndProcessNow();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

#if defined(__GLIBCXX__)
// libstdc++'s inline container code calls these where it would throw; the library's own
// definitions build the exception objects (and with them the rest of the machinery).
namespace std {
void __throw_bad_alloc() { EndProcessNow(); }
void __throw_bad_array_new_length() { EndProcessNow(); }
void __throw_length_error(const char*) { EndProcessNow(); }
void __throw_logic_error(const char*) { EndProcessNow(); }
void __throw_out_of_range(const char*) { EndProcessNow(); }
void __throw_out_of_range_fmt(const char*, ...) { EndProcessNow(); }
void __throw_invalid_argument(const char*) { EndProcessNow(); }
}  // namespace std

// The library's own compiled string code keeps its clean-up and catch paths, and those
// name the handler side of the machinery. With nothing left that can throw they are never
// reached; these definitions keep the personality routine, the unwinder and the default
// terminate handler (with its demangler) out of the image.
extern "C" {
#if defined(_WIN64)
// mingw-w64's x64 runtime unwinds with SEH (__SEH__ is not defined here only because the
// launcher is compiled without unwind tables). There the personality routine is a frame handler the system's exception dispatch calls
// for every exception that passes a frame with clean-ups, C++ or not. No C++ exception
// exists here, so any that passes belongs to someone else: let the search go on, as the
// library's routine does for a foreign exception.
EXCEPTION_DISPOSITION __gxx_personality_seh0(PEXCEPTION_RECORD, void*, PCONTEXT, void*) {
    return ExceptionContinueSearch;
}
#else
void __gxx_personality_v0() { EndProcessNow(); }
#endif
void _Unwind_Resume(void*) { EndProcessNow(); }
void* __cxa_begin_catch(void*) noexcept { EndProcessNow(); }
void __cxa_end_catch() { EndProcessNow(); }
void __cxa_rethrow() { EndProcessNow(); }
}
#endif
