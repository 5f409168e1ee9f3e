#include "tools/sfxpack/commands.h"

#include <exception>
#include <new>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/launcher_location.h"
#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package/package_writer.h"
#include "tools/sfxpack/progress_meter.h"
#include "tools/sfxpack/report_output.h"
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
    "  sign     sign a package with osslsigncode, writing it only once verified\n"
    "\n"
    "'sfxpack <command> --help' describes a command; 'sfxpack --version' tells the version.\n"
    "Exit codes: 0 success; 1 refused input, broken package, failed check or an entry\n"
    "not extracted; 2 usage error.\n";

const char kCreateUsage[] =
    "usage: sfxpack create [--launcher LAUNCHER.exe] --out PACKAGE.exe [--] [FILE...]\n"
    "\n"
    "Writes LAUNCHER.exe followed by the FILEs to PACKAGE.exe. Without --launcher, the\n"
    "launcher image installed with sfxpack is used (in a build tree, the one built there).\n"
    "Each file is packed under its base name, which must be a valid Windows file name in\n"
    "printable ASCII of at most 255 characters; names must differ in more than letter\n"
    "case, and none may have the shape of another's short 8.3 alias (INSTAL~1.MSI beside\n"
    "installer-database.msi). The launcher must be an unsigned PE32 image\n"
    "with nothing behind its last section. Sign the package after creating it.\n"
    "On any error PACKAGE.exe is left as it was. The same inputs give the same bytes.\n"
    "Shows progress on a terminal when more than 16 MiB are packed.\n";

const char kListUsage[] =
    "usage: sfxpack list PACKAGE.exe [--json]\n"
    "\n"
    "Prints the package offset, each entry (index, size, content offset, name), the\n"
    "trailer position and certificate table, and whether the layout is intact, or with\n"
    "--json one JSON document (see README.md). Exits with 1 when it is not intact.\n";

int RunCreate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool showProgress) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--launcher", "--out"}, &parsed, &message)) return UsageError(err, message, "create");
    if (parsed.help) {
        out << kCreateUsage;
        return kExitOk;
    }
    std::string launcher = parsed.Value("--launcher");
    const std::string output = parsed.Value("--out");
    if (output.empty()) return UsageError(err, "missing --out", "create");
    const std::vector<std::string>& files = parsed.positional;
    std::string error;
    const bool defaulted = launcher.empty();
    if (defaulted) {
        launcher = DefaultLauncherPath(&error);
        if (launcher.empty()) {
            err << "sfxpack: " << Printable(error) << "\n";
            return kExitFailed;
        }
    }

    ProgressMeter meter(err, "packing", showProgress);
    const bool created = sfx::CreatePackage(launcher, files, output, &error, meter.Callback());
    meter.Finish();
    if (!created) {
        err << "sfxpack: " << error;
        if (defaulted && !sfx::IsRegularFile(launcher)) {
            err << " (the launcher image comes with sfxpack, or from 'cmake --build --preset "
                   "windows' in a source tree; or give one with --launcher)";
        }
        err << "\n";
        return kExitFailed;
    }
    out << "wrote " << output << " with " << files.size() << (files.size() == 1 ? " file\n" : " files\n");
    return kExitOk;
}

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {}, &parsed, &message, {"--json"})) return UsageError(err, message, "list");
    if (parsed.help) {
        out << kListUsage;
        return kExitOk;
    }
    if (parsed.positional.size() != 1) return UsageError(err, "list takes exactly one package", "list");
    const std::string& path = parsed.positional[0];
    const bool json = parsed.Has("--json");
    sfx::PackageReport report;
    std::string error;
    if (!sfx::InspectPackage(path, &report, &error)) {
        if (json) PrintErrorJson(path, error, out);
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    json ? PrintReportJson(path, report, out) : PrintReport(report, out);
    if (!report.intact) {
        err << "sfxpack: " << sfx::Quoted(Printable(path)) << ": package layout is broken ("
            << report.problems.size()
            << (report.problems.size() == 1 ? " problem)\n" : " problems)\n");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

namespace {

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool errIsTerminal) {
    if (args.empty()) return UsageError(err, "no command given", "");
    const std::string& verb = args[0];
    if (IsHelp(verb)) {
        out << kToolUsage;
        return kExitOk;
    }
    if (verb == "--version") {
        out << "sfxpack " << kVersion << "\n";
        return kExitOk;
    }
    if (verb == "create") return RunCreate(args, out, err, errIsTerminal);
    if (verb == "list") return RunList(args, out, err);
    if (verb == "verify") return RunVerify(args, out, err);
    if (verb == "extract") return RunExtract(args, out, err, errIsTerminal);
    if (verb == "sign") return RunSign(args, out, err);
    return UsageError(err, "unknown command " + sfx::Quoted(verb), "");
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal) {
    // The verbs report their own failures; whatever escapes them still ends as one line
    // and exit code 1, never as an abort. The command line names the files involved.
    std::string command = "sfxpack";
    for (const std::string& a : args) command += " " + a;
    try {
        return Dispatch(args, out, err, errIsTerminal);
    } catch (const std::bad_alloc&) {
        err << "sfxpack: not enough memory for " << sfx::Quoted(Printable(command)) << "\n";
    } catch (const std::exception& e) {
        err << "sfxpack: " << sfx::Quoted(Printable(command)) << " failed: " << Printable(e.what())
            << "\n";
    }
    return kExitFailed;
}

}  // namespace sfxpack
