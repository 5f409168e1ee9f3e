// The sfxpack command line: verbs, options, messages and exit codes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sfxpack {

#ifndef SFXPACK_VERSION
#define SFXPACK_VERSION "unknown"
#endif
constexpr char kVersion[] = SFXPACK_VERSION;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // refused input, unusable or broken package, failed check
constexpr int kExitUsage = 2;

// args excludes the program name. Results go to out; errors go to err as lines starting
// with "sfxpack: ". Progress lines go to err only when errIsTerminal.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal = false);

}  // namespace sfxpack
