// The sfxpack command line: verbs, options, messages and exit codes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/sfxpack/exit_codes.h"

namespace sfxpack {

#ifndef SFXPACK_VERSION
#define SFXPACK_VERSION "unknown"
#endif
constexpr char kVersion[] = SFXPACK_VERSION;

// args excludes the program name. Results go to out; errors go to err as lines starting
// with "sfxpack: ". Progress lines go to err only when errIsTerminal.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal = false);

}  // namespace sfxpack
