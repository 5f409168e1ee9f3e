#include "tools/sfxpack/cli_support.h"

#include <algorithm>
#include <cstdio>

#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/exit_codes.h"

namespace sfxpack {

int UsageError(std::ostream& err, const std::string& message, const std::string& verb) {
    err << "sfxpack: " << message << " (see 'sfxpack " << (verb.empty() ? "" : verb + " ")
        << "--help')\n";
    return kExitUsage;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

// Control characters and bytes outside ASCII are shown as \xNN; backslashes stay, since
// Windows paths are made of them.
std::string Printable(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

void PrintLayout(const sfx::PackageReport& report, std::ostream& out) {
    out << "layout: " << (report.intact ? "intact" : "BROKEN") << "\n";
    for (const sfx::PackageProblem& p : report.problems) out << "  - " << Printable(p.text) << "\n";
}

std::string ParsedArgs::Value(const std::string& name) const {
    for (const auto& o : options) {
        if (o.first == name) return o.second;
    }
    return std::string();
}

bool ParsedArgs::Has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& optionNames,
               ParsedArgs* parsed, std::string* message, const std::vector<std::string>& flagNames) {
    bool positionalOnly = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (positionalOnly || a.empty() || a[0] != '-') {
            parsed->positional.push_back(a);
            continue;
        }
        if (IsHelp(a)) {
            parsed->help = true;
            return true;
        }
        if (a == "--") {
            positionalOnly = true;
            continue;
        }
        if (std::find(flagNames.begin(), flagNames.end(), a) != flagNames.end()) {
            if (parsed->Has(a)) {
                *message = a + " given twice";
                return false;
            }
            parsed->flags.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (std::find(optionNames.begin(), optionNames.end(), name) == optionNames.end()) {
            *message = "unknown option " + sfx::Quoted(a);
            return false;
        }
        if (!parsed->Value(name).empty()) {
            *message = name + " given twice";
            return false;
        }
        std::string value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (value.empty()) {
            *message = name + " needs a value";
            return false;
        }
        parsed->options.emplace_back(name, value);
    }
    return true;
}

}  // namespace sfxpack
