#include "tools/sfxpack/cli_support.h"

#include <algorithm>
#include <cstdio>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/base/utf8.h"
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

// Valid UTF-8 is shown as it is; control characters (C1 ones too, which steer a terminal
// as well) and bytes of no valid sequence as \xNN. Backslashes stay, since Windows paths
// are made of them.
std::string Printable(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = sfx::Utf8SequenceLength(s, i);
        const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0;
        if ((n == 1 && c >= 0x20 && c < 0x7F) || (n > 1 && !c1)) {
            out.append(s, i, n);
            i += n;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", c);
        out += buf;
        ++i;
    }
    return out;
}

void PrintLayout(const sfx::PackageReport& report, std::ostream& out) {
    out << "layout: " << (report.intact ? "intact" : "BROKEN") << "\n";
    for (const sfx::PackageProblem& p : report.problems) out << "  - " << Printable(p.text) << "\n";
    for (const std::string& w : report.warnings) out << "warning: " << Printable(w) << "\n";
}

void SetUndone(const std::string& text) {
    sfx::SetUndoneMessage(text);
}

void SetOutputUndone(const std::string& output, const std::string& what) {
    std::string text = sfx::Quoted(Printable(output)) + " was not " + what;
    if (sfx::GetPathKind(output) != sfx::PathKind::kMissing) text += "; the file there is as it was";
    SetUndone(text);
}

void ReportLeftovers(const std::vector<std::string>& removed, std::ostream& err) {
    for (const std::string& path : removed) {
        err << "sfxpack: removed " << sfx::Quoted(Printable(path))
            << ", left by an earlier run that was killed\n";
    }
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
        // A value that looks like an option is one forgotten; "--out=-x" names such a file.
        std::string value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size() && args[i + 1].compare(0, 2, "--") != 0) {
            value = args[++i];
        }
        if (value.empty()) {
            *message = name + " needs a value";
            return false;
        }
        if (!parsed->Value(name).empty()) {
            *message = name + " given twice";
            return false;
        }
        parsed->options.emplace_back(name, value);
    }
    return true;
}

}  // namespace sfxpack
