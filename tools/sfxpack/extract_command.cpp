// sfxpack extract: writes the entries of a package into a folder, as the launcher would.
#include <set>

#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/exit_codes.h"
#include "tools/sfxpack/package/package_extractor.h"
#include "tools/sfxpack/progress_meter.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kExtractUsage[] =
    "usage: sfxpack extract PACKAGE.exe --to DIR\n"
    "\n"
    "Writes each entry of the package into DIR (created when missing), as the launcher\n"
    "would unpack it, and runs nothing. Entries are found by the launcher's walk from\n"
    "the package offset to the trailer; a later entry of a name already written replaces\n"
    "that file. An entry whose name the launcher refuses, or that is no valid Windows file\n"
    "name in printable ASCII, is skipped and reported; the others are written. When the\n"
    "layout is broken in any other way nothing is written. Nothing is ever written\n"
    "outside DIR. Exits with 0 only when every entry was written.\n"
    "Shows progress on a terminal when more than 16 MiB are extracted.\n";

}  // namespace

int RunExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool showProgress) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--to"}, &parsed, &message)) return UsageError(err, message, "extract");
    if (parsed.help) {
        out << kExtractUsage;
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        return UsageError(err, "extract takes exactly one package", "extract");
    }
    const std::string to = parsed.Value("--to");
    if (to.empty()) return UsageError(err, "missing --to", "extract");
    const std::string& path = parsed.positional[0];

    sfx::ExtractOutcome outcome;
    std::string error;
    ProgressMeter meter(err, "extracting", showProgress);
    const bool extracted = sfx::ExtractPackage(path, to, &outcome, &error, meter.Callback());
    meter.Finish();
    if (!extracted && !outcome.layout.structureIntact && !outcome.layout.problems.empty()) {
        PrintLayout(outcome.layout, out);
    }
    std::set<std::string> seen;
    for (const std::string& name : outcome.written) {
        out << (seen.insert(name).second ? "wrote " : "replaced ") << name << "\n";
    }
    for (const std::string& line : outcome.refused) err << "sfxpack: " << Printable(line) << "\n";
    if (!extracted) {
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    out << "extracted " << outcome.written.size() << " of " << outcome.layout.entries.size()
        << (outcome.layout.entries.size() == 1 ? " entry" : " entries") << " into "
        << Printable(to) << "\n";
    return outcome.refused.empty() ? kExitOk : kExitFailed;
}

}  // namespace sfxpack
