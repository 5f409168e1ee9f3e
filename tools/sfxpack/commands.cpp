#include "tools/sfxpack/commands.h"

#include "format/package_reader.h"
#include "format/package_writer.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/progress_meter.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kToolUsage[] =
    "usage: sfxpack <command> [options]\n"
    "\n"
    "Commands:\n"
    "  create   append files to a launcher, making a self-extracting package\n"
    "  list     show the contents and layout of a package\n"
    "  verify   check the layout and, when signed, the signature of a package\n"
    "  extract  write the files of a package into a folder, running nothing\n"
    "\n"
    "'sfxpack <command> --help' describes a command.\n"
    "Exit codes: 0 success; 1 refused input, broken package, failed check or an entry\n"
    "not extracted; 2 usage error.\n";

const char kCreateUsage[] =
    "usage: sfxpack create --launcher LAUNCHER.exe --out PACKAGE.exe [--] [FILE...]\n"
    "\n"
    "Writes LAUNCHER.exe followed by the FILEs to PACKAGE.exe. Each file is packed under\n"
    "its base name, which must be a valid Windows file name in printable ASCII; names\n"
    "must differ in more than letter case. The launcher must be an unsigned PE32 image\n"
    "with nothing behind its last section. Sign the package after creating it.\n"
    "On any error PACKAGE.exe is left as it was. The same inputs give the same bytes.\n"
    "Shows progress on a terminal when more than 16 MiB are packed.\n";

const char kListUsage[] =
    "usage: sfxpack list PACKAGE.exe\n"
    "\n"
    "Prints the package offset, each entry (index, size, content offset, name), the\n"
    "trailer position and certificate table, and whether the layout is intact.\n"
    "Exits with 1 when it is not.\n";

int RunCreate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool showProgress) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--launcher", "--out"}, &parsed, &message)) return UsageError(err, message, "create");
    if (parsed.help) {
        out << kCreateUsage;
        return kExitOk;
    }
    const std::string launcher = parsed.Value("--launcher");
    const std::string output = parsed.Value("--out");
    if (launcher.empty()) return UsageError(err, "missing --launcher", "create");
    if (output.empty()) return UsageError(err, "missing --out", "create");
    const std::vector<std::string>& files = parsed.positional;

    std::string error;
    ProgressMeter meter(err, "packing", showProgress);
    const bool created = sfx::CreatePackage(launcher, files, output, &error, meter.Callback());
    meter.Finish();
    if (!created) {
        err << "sfxpack: " << error << "\n";
        return kExitFailed;
    }
    out << "wrote " << output << " with " << files.size() << (files.size() == 1 ? " file\n" : " files\n");
    return kExitOk;
}

void PrintReport(const sfx::PackageReport& r, std::ostream& out) {
    // Offset 0 is inside the launcher's own headers: no trailer gave a package offset.
    out << "file length: " << r.fileLength << "\n"
        << "package offset: "
        << (r.packageOffset != 0 ? std::to_string(r.packageOffset) : std::string("unknown")) << "\n"
        << "entries: " << r.entries.size() << "\n";
    for (const sfx::PackageEntryInfo& e : r.entries) {
        out << "  index " << e.index << "  size " << e.size << "  content at " << e.contentOffset
            << "  name " << Printable(e.name) << "\n";
    }
    // The filler lies behind the launcher image, so offset 0 means the walk never got there.
    if (r.fillerOffset != 0) {
        out << "filler: " << r.fillerLength << " bytes at " << r.fillerOffset << "\n";
    }
    out << "trailer at: " << r.trailerOffset << "\n";
    if (r.certificateSize == 0) {
        out << "certificate table: none\n";
    } else {
        out << "certificate table: " << r.certificateSize << " bytes at " << r.certificateOffset
            << "\n";
    }
    PrintLayout(r, out);
}

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            out << kListUsage;
            return kExitOk;
        }
        if (!args[i].empty() && args[i][0] == '-') {
            return UsageError(err, "unknown option '" + args[i] + "'", "list");
        }
        paths.push_back(args[i]);
    }
    if (paths.size() != 1) return UsageError(err, "list takes exactly one package", "list");
    sfx::PackageReport report;
    std::string error;
    if (!sfx::InspectPackage(paths[0], &report, &error)) {
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    PrintReport(report, out);
    if (!report.intact) {
        err << "sfxpack: '" << Printable(paths[0]) << "': package layout is broken ("
            << report.problems.size()
            << (report.problems.size() == 1 ? " problem)\n" : " problems)\n");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal) {
    if (args.empty()) return UsageError(err, "no command given", "");
    const std::string& verb = args[0];
    if (IsHelp(verb)) {
        out << kToolUsage;
        return kExitOk;
    }
    if (verb == "create") return RunCreate(args, out, err, errIsTerminal);
    if (verb == "list") return RunList(args, out, err);
    if (verb == "verify") return RunVerify(args, out, err);
    if (verb == "extract") return RunExtract(args, out, err, errIsTerminal);
    return UsageError(err, "unknown command '" + verb + "'", "");
}

}  // namespace sfxpack
