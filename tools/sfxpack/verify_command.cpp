// sfxpack verify: the layout check of list, then the certificate table and, through
// osslsigncode, the signature. Nothing is extracted or run.
#include <sstream>

#include "format/certificate_table.h"
#include "format/file_io.h"
#include "format/package_reader.h"
#include "tools/sfxpack/child_process.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kVerifyUsage[] =
    "usage: sfxpack verify PACKAGE.exe [--ca CERT.pem]\n"
    "\n"
    "Checks the package layout as 'list' does. When the package is signed, also checks\n"
    "that its certificate table is one PKCS#7 WIN_CERTIFICATE right behind the trailer\n"
    "at the end of the file, and has 'osslsigncode verify' (found on PATH) check the\n"
    "signature, trusting CERT.pem when given (a self-signed certificate needs it).\n"
    "Prints one line per check. Exits with 0 only when every check passed; a signature\n"
    "that could not be checked, osslsigncode missing included, counts as failed.\n";

constexpr char kVerifier[] = "osslsigncode";

// Indented, so the verifier's lines stand apart from ours.
void PrintIndented(const std::string& text, std::ostream& out) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string expanded;
        for (const char c : line) expanded += c == '\t' ? std::string("    ") : std::string(1, c);
        out << "    " << Printable(expanded) << "\n";
    }
}

bool CheckSignature(const std::string& path, const std::string& ca, std::ostream& out) {
    const std::string verifier = FindOnPath(kVerifier);
    if (verifier.empty()) {
        out << "signature: NOT checked: " << kVerifier << " was not found on PATH\n";
        return false;
    }
    std::vector<std::string> args = {"verify", "-in", path};
    if (!ca.empty()) {
        args.push_back("-CAfile");
        args.push_back(ca);
    }
    ChildResult result;
    std::string error;
    if (!RunChild(verifier, args, &result, &error)) {
        out << "signature: NOT checked: " << Printable(error) << "\n";
        return false;
    }
    if (result.exitCode != 0) {
        out << "signature: NOT verified: " << kVerifier << " exited with " << result.exitCode
            << ":\n";
        PrintIndented(result.output, out);
        return false;
    }
    out << "signature: verified by " << kVerifier << "\n";
    return true;
}

}  // namespace

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--ca"}, &parsed, &message)) return UsageError(err, message, "verify");
    if (parsed.help) {
        out << kVerifyUsage;
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        return UsageError(err, "verify takes exactly one package", "verify");
    }
    const std::string& path = parsed.positional[0];
    const std::string ca = parsed.Value("--ca");
    if (!ca.empty() && !sfx::IsRegularFile(ca)) {
        err << "sfxpack: CA certificate '" << Printable(ca) << "' is not a readable file\n";
        return kExitFailed;
    }

    sfx::PackageReport report;
    bool tableOk = false;
    std::string error;
    {
        sfx::InputFile file;  // closed before the verifier runs, so it does not inherit it
        if (!file.Open(path, &error) ||
            !sfx::InspectPackageSource(&file, "'" + path + "'", &report, &error)) {
            err << "sfxpack: " << Printable(error) << "\n";
            return kExitFailed;
        }
        PrintLayout(report, out);
        if (report.certificateSize == 0) {
            out << "certificate table: none (not signed)\n";
        } else {
            sfx::CertificateTableInfo info;
            std::string reason;
            tableOk = sfx::CheckCertificateTable(&file, report, &info, &reason);
            if (tableOk) {
                out << "certificate table: " << report.certificateSize << " bytes at "
                    << report.certificateOffset << ", PKCS#7\n";
            } else {
                out << "certificate table: BROKEN: " << Printable(reason) << "\n";
            }
        }
    }
    std::string failed = report.intact ? "" : ", layout";
    if (report.certificateSize != 0) {
        // A table that is not what a signer writes would only give the verifier's parse errors.
        if (!tableOk) {
            out << "signature: NOT checked: the certificate table is broken\n";
            failed += ", certificate table";
        } else if (!CheckSignature(path, ca, out)) {
            failed += ", signature";
        }
    }
    if (!failed.empty()) {
        err << "sfxpack: '" << Printable(path) << "' failed verification (" << failed.substr(2)
            << ")\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace sfxpack
