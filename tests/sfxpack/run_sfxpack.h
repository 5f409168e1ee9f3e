// Runs the built sfxpack executable and captures its exit code and output.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "scratch_dir.h"

namespace sfxtest {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& s) {
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    std::string q = "'";
    for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

// Runs program with args; shellPrefix, when given, runs first in the same shell (a
// resource limit, for instance).
inline ToolResult RunProgram(const ScratchDir& dir, const std::string& program,
                             const std::vector<std::string>& args,
                             const std::string& shellPrefix = "") {
    const std::string outPath = dir.Path("tool.stdout");
    const std::string errPath = dir.Path("tool.stderr");
    std::string command = shellPrefix + ShellQuoted(program);
    for (const std::string& a : args) command += " " + ShellQuoted(a);
    command += " >" + ShellQuoted(outPath) + " 2>" + ShellQuoted(errPath);
    const int status = std::system(command.c_str());
    ToolResult r;
#ifdef _WIN32
    r.exitCode = status;
#else
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const std::vector<uint8_t> out = ReadBytes(outPath);
    const std::vector<uint8_t> err = ReadBytes(errPath);
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
}

inline ToolResult RunSfxpack(const ScratchDir& dir, const std::vector<std::string>& args,
                             const std::string& shellPrefix = "") {
    return RunProgram(dir, SFXPACK_EXE, args, shellPrefix);
}

}  // namespace sfxtest
