// sfxpack extract: writes the entries of a package into a folder, as the launcher would.
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/temporaries.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/exit_codes.h"
#include "tools/sfxpack/package/package_extractor.h"
#include "tools/sfxpack/progress_meter.h"
#include "tools/sfxpack/report_output.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kExtractUsage[] =
    "usage: sfxpack extract PACKAGE.exe --to DIR [--quiet | --json]\n"
    "\n"
    "Writes each entry of the package into DIR (created when missing), as the launcher\n"
    "would unpack it, and runs nothing. Entries are found by the launcher's walk from\n"
    "the package offset to the trailer; a later entry of a name already written replaces\n"
    "that file. An entry whose name list and verify report (no valid Windows file name in\n"
    "printable ASCII, or one the launcher refuses) is skipped and reported; the others\n"
    "are written. When the layout is broken in any other way nothing is written. Nothing\n"
    "is ever written outside DIR. Exits with 0 only when every entry was written.\n"
    "Prints each file as it is written; --quiet prints only problems and the summary,\n"
    "--json one JSON document of what was written. Shows progress on a terminal when more\n"
    "than 16 MiB are extracted. An interruption removes the file being written; the files\n"
    "written before stay.\n";

std::string Undone(const std::string& to, size_t done, size_t total) {
    return "extraction into " + sfx::Quoted(Printable(to)) + " stopped after " +
           std::to_string(done) + " of " + std::to_string(total) +
           " entries; the files written stay, the one being written was removed";
}

}  // namespace

int RunExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool showProgress) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--to"}, &parsed, &message, {"--quiet", "--json"})) {
        return UsageError(err, message, "extract");
    }
    if (parsed.help) {
        out << kExtractUsage;
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        return UsageError(err, "extract takes exactly one package", "extract");
    }
    const std::string to = parsed.Value("--to");
    if (to.empty()) return UsageError(err, "missing --to", "extract");
    const bool json = parsed.Has("--json");
    const bool quiet = parsed.Has("--quiet") || json;
    if (parsed.Has("--quiet") && json) {
        return UsageError(err, "--quiet and --json go not together", "extract");
    }
    const std::string& path = parsed.positional[0];
    if (sfx::GetPathKind(to) == sfx::PathKind::kDirectory) {
        ReportLeftovers(sfx::RemoveLeftovers(to, ".tmp"), err);
    }
    SetUndone("nothing was extracted into " + sfx::Quoted(Printable(to)));

    sfx::ExtractOutcome outcome;
    std::string error;
    ProgressMeter meter(err, "extracting", showProgress);
    size_t done = 0;
    // Each file is told as soon as it is written, so an interrupted run has said what stays.
    const sfx::ExtractObserver observer = [&](const sfx::ExtractedEntry& e) {
        SetUndone(Undone(to, ++done, outcome.layout.entries.size()));
        if (quiet && e.written) return;
        meter.Clear();
        if (e.written) {
            // Under the spelling first written, which a later entry of the name replaces.
            out << (e.replaced ? "replaced " : "wrote ") << Printable(outcome.written.back())
                << std::endl;
        } else {
            err << "sfxpack: " << Printable(outcome.refused.back()) << std::endl;
        }
    };
    const bool extracted =
        sfx::ExtractPackage(path, to, &outcome, &error, meter.Callback(), observer);
    meter.Finish();
    if (json) PrintExtractJson(path, to, outcome, extracted ? std::string() : error, out);
    if (!extracted) {
        if (!json && !outcome.layout.structureIntact && !outcome.layout.problems.empty()) {
            PrintLayout(outcome.layout, out);
        }
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    if (!json) {
        out << "extracted " << outcome.written.size() << " of " << outcome.layout.entries.size()
            << (outcome.layout.entries.size() == 1 ? " entry" : " entries") << " into "
            << Printable(to) << "\n";
    }
    return outcome.refused.empty() ? kExitOk : kExitFailed;
}

}  // namespace sfxpack
