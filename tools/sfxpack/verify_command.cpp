// sfxpack verify: the layout check of list, then the certificate table and, through
// osslsigncode, the signature. Nothing is extracted or run.
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/exit_codes.h"
#include "tools/sfxpack/package_check.h"
#include "tools/sfxpack/report_output.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kVerifyUsage[] =
    "usage: sfxpack verify PACKAGE.exe [--ca CERT.pem] [--json]\n"
    "\n"
    "Checks the package layout as 'list' does. When the package is signed, also checks\n"
    "that its certificate table is one PKCS#7 WIN_CERTIFICATE right behind the trailer\n"
    "at the end of the file, and has 'osslsigncode verify' (found on PATH) check the\n"
    "signature, trusting CERT.pem when given (a self-signed certificate needs it).\n"
    "Prints one line per check, or with --json one JSON document (see README.md).\n"
    "Exits with 0 only when every check passed; a signature that could not be checked,\n"
    "osslsigncode missing included, counts as failed. A package without run.bat passes\n"
    "with a warning: the launcher started without arguments would start nothing.\n";

}  // namespace

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--ca"}, &parsed, &message, {"--json"})) {
        return UsageError(err, message, "verify");
    }
    if (parsed.help) {
        out << kVerifyUsage;
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        return UsageError(err, "verify takes exactly one package", "verify");
    }
    const std::string& path = parsed.positional[0];
    const std::string ca = parsed.Value("--ca");
    const bool json = parsed.Has("--json");
    if (!ca.empty() && !sfx::IsRegularFile(ca)) {
        err << "sfxpack: CA certificate " << sfx::Quoted(Printable(ca)) << " is not a readable file\n";
        return kExitFailed;
    }
    SetUndone(sfx::Quoted(Printable(path)) + " was not verified to the end");
    VerifyOutcome outcome;
    std::string error;
    if (!VerifyPackage(path, ca, &outcome, &error)) {
        if (json) PrintErrorJson(path, error, out);
        err << "sfxpack: " << Printable(error) << "\n";
        return kExitFailed;
    }
    json ? PrintVerifyJson(path, outcome, out) : PrintVerifyText(outcome, out);
    if (!outcome.failed.empty()) {
        std::string failed;
        for (const std::string& f : outcome.failed) failed += (failed.empty() ? "" : ", ") + f;
        err << "sfxpack: " << sfx::Quoted(Printable(path)) << " failed verification (" << failed
            << ")\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace sfxpack
