// sfxpack: makes and inspects self-extracting packages. The work is in commands.cpp.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/utf8.h"
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/progress_meter.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h relies on the types windows.h declares.
#include <shellapi.h>

#include "framework/handles.h"
#endif

namespace {

// The rest of the tool takes UTF-8 paths; on Windows argv is in the ANSI code page, which
// cannot hold every file name, so the arguments are fetched again as UTF-16.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    const UniqueLocalMemory<wchar_t**> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (wide) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(sfx::NarrowToUtf8(wide.Get()[i]));
        return args;
    }
#endif
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything that makes a temporary or starts a child.
    sfx::InstallInterruptionHandlers();
    int code = sfxpack::kExitFailed;
    try {
        code = sfxpack::Run(Utf8Arguments(argc, argv), std::cout, std::cerr,
                            sfxpack::StderrIsTerminal());
    } catch (const std::bad_alloc&) {
        std::cerr << "sfxpack: not enough memory to read the command line\n";
        return sfxpack::kExitFailed;
    }
    // A full disk or a closed pipe behind standard output must not pass for success (SIGPIPE
    // is ignored, so a closed pipe is EPIPE here rather than a silent death).
    std::cout.flush();
    if (!std::cout) {
        const int why = errno;
        std::cerr << "sfxpack: cannot write to standard output"
                  << (why != 0 ? std::string(": ") + std::strerror(why) : std::string()) << "\n";
        return sfxpack::kExitFailed;
    }
    return code;
}
