// Runs another program directly (no shell between, so arguments need no quoting for one)
// and collects what it prints.
#pragma once

#include <string>
#include <vector>

namespace sfx {

// Full path of the first executable file called program (".exe" added on Windows) in a
// folder listed in PATH; empty when there is none.
std::string FindOnPath(const std::string& program);

struct ChildResult {
    int exitCode = -1;   // -1 when it did not exit normally (killed by a signal)
    std::string output;  // stdout and stderr, interleaved as written, capped at kMaxChildOutput
};

constexpr size_t kMaxChildOutput = 1 << 20;

// Runs executable (a path, as FindOnPath gives it) with args, stdin empty, and waits.
// False with *error when it could not be started at all.
bool RunChild(const std::string& executable, const std::vector<std::string>& args,
              ChildResult* result, std::string* error);

}  // namespace sfx
