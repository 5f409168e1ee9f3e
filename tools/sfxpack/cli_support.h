// Pieces every sfxpack verb shares: usage errors, help flags, safe printing, options.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/sfxpack/package/package_reader.h"

namespace sfxpack {

// Writes "sfxpack: MESSAGE (see 'sfxpack VERB --help')" and returns the usage exit code.
int UsageError(std::ostream& err, const std::string& message, const std::string& verb);

bool IsHelp(const std::string& arg);

// Names and paths as they are when valid UTF-8; a damaged one must not garble the terminal.
std::string Printable(const std::string& s);

// "layout: intact", or "layout: BROKEN" and one indented line per problem; then a line per
// warning.
void PrintLayout(const sfx::PackageReport& report, std::ostream& out);

// Tells the interruption handler what the line it prints says was left undone.
void SetUndone(const std::string& text);
// "'OUT' was not WHAT", and, when a file of that name is there, that it is as it was.
void SetOutputUndone(const std::string& output, const std::string& what);

// One line for each temporary of an earlier, killed run that was removed.
void ReportLeftovers(const std::vector<std::string>& removed, std::ostream& err);

// Options of the form "--name VALUE" or "--name=VALUE", flags of the form "--name", each
// at most once, and positional arguments; "--" ends the options.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // name, value
    std::vector<std::string> flags;
    bool help = false;

    // Empty when the option was not given.
    std::string Value(const std::string& name) const;
    bool Has(const std::string& flag) const;
};

// args[0] is the verb. False with *message on an unknown, repeated or empty option.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& optionNames,
               ParsedArgs* parsed, std::string* message,
               const std::vector<std::string>& flagNames = {});

}  // namespace sfxpack
