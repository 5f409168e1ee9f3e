#include "tools/sfxpack/commands.h"

#include <exception>
#include <new>

#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/temporaries.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/launcher_location.h"
#include "tools/sfxpack/package/entry_name.h"
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
    "Exit codes: 0 success; 1 refused input, broken package, failed check, an entry\n"
    "not extracted or output that cannot be written; 2 usage error; 128 + the signal\n"
    "number when interrupted (130 for Ctrl-C), after removing its temporary files.\n";

const char kCreateUsage[] =
    "usage: sfxpack create [--arch x86|x64] [--launcher LAUNCHER.exe] --out PACKAGE.exe\n"
    "                      [--json] [--] FILE...\n"
    "\n"
    "Writes LAUNCHER.exe followed by the FILEs to PACKAGE.exe. Without --launcher, the\n"
    "launcher image of architecture --arch (x86 by default, or x64) installed with sfxpack\n"
    "is used (in a build tree, the one built there); given both, LAUNCHER.exe must be of\n"
    "that architecture. Each file is packed under its base name, which must be a valid\n"
    "Windows file name in printable ASCII of at most 255 characters; names must differ in\n"
    "more than letter case, and none may have the shape of another's short 8.3 alias\n"
    "(INSTAL~1.MSI beside installer-database.msi). The launcher must be an unsigned x86\n"
    "PE32 or x64 PE32+ image with nothing behind its last section. Sign the package after\n"
    "creating it. Warns when no FILE is named run.bat, which the launcher runs when started\n"
    "without arguments. --json prints what was written as one JSON document.\n"
    "On any error or interruption PACKAGE.exe is left as it was. The same inputs give the\n"
    "same bytes. Shows progress on a terminal when more than 16 MiB are packed.\n";

const char kListUsage[] =
    "usage: sfxpack list PACKAGE.exe [--json]\n"
    "\n"
    "Prints the package offset, each entry (numbered from 1 in package order, with its\n"
    "size, header and content offsets and name), the trailer position and certificate\n"
    "table, and whether the layout is intact, or with --json one JSON document (see\n"
    "README.md). Exits with 1 when it is not intact.\n";

struct LauncherChoice {
    std::string path;
    sfx::PeArchitecture architecture = sfx::PeArchitecture::kX86;
    bool defaulted = false;  // no --launcher: the image installed or built for the architecture
};

// The launcher create packs into: --launcher, or the default image of --arch. kExitOk, or
// the exit code once the reason is written to err.
int ChooseLauncher(const ParsedArgs& parsed, std::ostream& err, LauncherChoice* choice) {
    choice->path = parsed.Value("--launcher");
    const std::string arch = parsed.Value("--arch");
    if (!arch.empty() && !sfx::ParseArchitecture(arch, &choice->architecture)) {
        return UsageError(err, "--arch takes x86 or x64, not " + sfx::Quoted(Printable(arch)),
                          "create");
    }
    if (!choice->path.empty() && arch.empty()) return kExitOk;  // any architecture will do
    choice->defaulted = choice->path.empty();
    std::string error;
    if (choice->defaulted) choice->path = DefaultLauncherPath(choice->architecture, &error);
    if (choice->path.empty()) {
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    // An image that cannot be read is left to create, which says why.
    sfx::PeArchitecture found = choice->architecture;
    if (sfx::ReadImageArchitecture(choice->path, &found) && found != choice->architecture) {
        err << "sfxpack: launcher " << sfx::Quoted(Printable(choice->path)) << " is an "
            << sfx::ArchitectureName(found) << " image, not "
            << sfx::ArchitectureName(choice->architecture)
            << (arch.empty() ? ", the default of --arch" : " as --arch asks") << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

// The line create prints for its warning, on stderr whatever the output.
void PrintWarning(const std::string& warning, std::ostream& err) {
    if (!warning.empty()) err << "sfxpack: warning: " << Printable(warning) << "\n";
}

int RunCreate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool showProgress) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--launcher", "--out", "--arch"}, &parsed, &message, {"--json"})) {
        return UsageError(err, message, "create");
    }
    if (parsed.help) {
        out << kCreateUsage;
        return kExitOk;
    }
    const std::string output = parsed.Value("--out");
    if (output.empty()) return UsageError(err, "missing --out", "create");
    const bool json = parsed.Has("--json");
    LauncherChoice launcher;
    const int chosen = ChooseLauncher(parsed, err, &launcher);
    if (chosen != kExitOk) return chosen;
    const std::vector<std::string>& files = parsed.positional;
    if (files.empty()) {
        return UsageError(err, "no FILE given: a package without files would start nothing",
                          "create");
    }
    ReportLeftovers(sfx::RemoveLeftovers(sfx::FolderOf(output), ".tmp"), err);
    SetOutputUndone(output, "written");

    std::vector<std::string> names;
    for (const std::string& f : files) names.push_back(sfx::EntryNameFromPath(f));
    std::string error;
    sfx::CreatedPackage made;
    ProgressMeter meter(err, "packing", showProgress);
    const bool created =
        sfx::CreatePackage(launcher.path, files, output, &error, meter.Callback(), &made);
    meter.Finish();
    if (!created) {
        if (json) PrintErrorJson(output, error, out);
        err << "sfxpack: " << Printable(error);
        if (launcher.defaulted && !sfx::IsRegularFile(launcher.path)) {
            const bool x64 = launcher.architecture == sfx::PeArchitecture::kX64;
            err << " (the launcher image comes with sfxpack, or from 'cmake --build --preset "
                << (x64 ? "windows-x64" : "windows")
                << "' in a source tree; or give one with --launcher)";
        }
        err << "\n";
        return kExitFailed;
    }
    const std::string warning = sfx::MissingRunBatWarning(names);
    PrintWarning(warning, err);
    if (json) {
        PrintCreateJson(output, launcher.path, made,
                        warning.empty() ? std::vector<std::string>() : std::vector<std::string>{warning},
                        out);
    } else {
        out << "wrote " << Printable(output) << " with " << files.size()
            << (files.size() == 1 ? " file\n" : " files\n");
    }
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
    SetUndone(sfx::Quoted(Printable(path)) + " was not listed to the end");
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
