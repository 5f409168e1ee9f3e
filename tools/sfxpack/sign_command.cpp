// sfxpack sign: signs a package with osslsigncode and writes it only once verify has
// passed it; --make-test-cert makes a throw-away certificate with openssl.
#include <sstream>

#include "tools/sfxpack/base/child_process.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/interruption.h"
#include "tools/sfxpack/base/temporaries.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/exit_codes.h"
#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package_check.h"
#include "tools/sfxpack/report_output.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

constexpr char kSignedFile[] = "signed.exe";

const char kSignUsage[] =
    "usage: sfxpack sign --cert CERT.pem --key KEY.pem IN.exe --out OUT.exe\n"
    "                    [--timestamp URL] [--ca CA.pem]\n"
    "       sfxpack sign --make-test-cert DIR [--force]\n"
    "\n"
    "Signs the package IN.exe with osslsigncode (SHA-256), then checks the result as\n"
    "'sfxpack verify --ca CA.pem' does (CA.pem defaults to CERT.pem, which a self-signed\n"
    "certificate needs) and only then writes it to OUT.exe: a failed run leaves OUT.exe\n"
    "as it was. --timestamp has the signature timestamped by the RFC 3161 server at URL\n"
    "(over the network), so it stays valid after the certificate expires.\n"
    "--make-test-cert writes DIR/cert.pem and DIR/key.pem, a self-signed code-signing\n"
    "certificate good for 30 days, with openssl; for tests only. It refuses to replace\n"
    "either file unless --force is given; openssl's output is shown only when it fails.\n";

int Fail(std::ostream& err, const std::string& message) {
    err << "sfxpack: " << Printable(message) << "\n";
    return kExitFailed;
}

// The lines of a child's output worth showing, indented; openssl's progress lines are dots
// and pluses only, which tell nothing after the fact.
std::string ChildLog(const std::string& log) {
    std::istringstream lines(log);
    std::string line;
    std::string shown;
    while (std::getline(lines, line)) {
        if (line.find_first_not_of(".+*-\r ") == std::string::npos) continue;
        shown += "    " + Printable(line) + "\n";
    }
    return shown;
}

constexpr char kKeyFile[] = "key.pem";
constexpr char kCertFile[] = "cert.pem";

// openssl writes into a temporary folder in DIR; the pair is moved into place only whole,
// so an interruption or a failure leaves DIR as it was.
int MakeTestCertificate(const std::string& dir, bool force, std::ostream& out, std::ostream& err) {
    const std::string openssl = sfx::FindOnPath("openssl");
    if (openssl.empty()) return Fail(err, "openssl was not found on PATH; it makes the certificate");
    const std::string key = sfx::JoinPath(dir, kKeyFile);
    const std::string cert = sfx::JoinPath(dir, kCertFile);
    if (!force) {
        for (const std::string& path : {key, cert}) {
            if (sfx::GetPathKind(path) != sfx::PathKind::kMissing) {
                return Fail(err, sfx::Quoted(path) + " exists; give --force to replace it");
            }
        }
    }
    std::string error;
    if (!sfx::MakeDirectories(dir, &error)) return Fail(err, error);
    ReportLeftovers(sfx::RemoveLeftovers(dir, ".cert", {kKeyFile, kCertFile}), err);
    SetUndone("no test certificate was made in " + sfx::Quoted(Printable(dir)) +
              "; the files there are as they were");
    sfx::TemporaryFolder folder;
    if (!folder.Make(key, ".cert", &error)) return Fail(err, error);
    const std::string newKey = folder.File(kKeyFile);
    const std::string newCert = folder.File(kCertFile);
    sfx::ChildResult result;
    const std::vector<std::string> args = {
        "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=sfxpack test signer",
        "-addext", "extendedKeyUsage=codeSigning", "-days", "30", "-keyout", newKey, "-out", newCert};
    if (!sfx::RunChild(openssl, args, &result, &error)) return Fail(err, error);
    if (result.exitCode != 0) {
        const std::string log = ChildLog(result.output);
        Fail(err, "openssl could not make a certificate in " + sfx::Quoted(dir) + " (exit code " +
                      std::to_string(result.exitCode) + ")" + (log.empty() ? "" : "; it said:"));
        err << log;
        return kExitFailed;
    }
    {
        // Both or neither, as far as an interruption goes.
        sfx::InterruptionsHeld held;
        if (!sfx::MoveOver(newKey, key, &error) || !sfx::MoveOver(newCert, cert, &error)) {
            return Fail(err, "cannot move the certificate into " + sfx::Quoted(dir) + ": " + error);
        }
    }
    out << "made " << Printable(cert) << " and " << Printable(key) << "\n";
    return kExitOk;
}

// Everything that must hold before osslsigncode runs.
bool CheckSignInputs(const ParsedArgs& parsed, std::string* message) {
    for (const char* option : {"--cert", "--key", "--ca"}) {
        const std::string path = parsed.Value(option);
        if (!path.empty() && !sfx::IsRegularFile(path)) {
            *message = std::string(option) + " " + sfx::Quoted(path) + " is not a readable file";
            return false;
        }
    }
    if (sfx::FindOnPath(kVerifier).empty()) {
        *message = std::string(kVerifier) + " was not found on PATH; it signs and verifies " +
                   "packages (Debian: apt-get install osslsigncode)";
        return false;
    }
    // Signing a broken package would only give a broken signed one. (A signed one is fine:
    // osslsigncode replaces its signature.)
    const std::string& in = parsed.positional[0];
    sfx::PackageReport report;
    if (!sfx::InspectPackage(in, &report, message)) return false;
    if (!report.intact) {
        *message = sfx::Quoted(in) + " is not an intact package (see 'sfxpack list')";
        return false;
    }
    return true;
}

int SignPackage(const ParsedArgs& parsed, std::ostream& out, std::ostream& err) {
    std::string message;
    if (!CheckSignInputs(parsed, &message)) return Fail(err, message);
    const std::string& in = parsed.positional[0];
    const std::string output = parsed.Value("--out");
    ReportLeftovers(sfx::RemoveLeftovers(sfx::FolderOf(output), ".signing", {kSignedFile}), err);
    SetOutputUndone(output, "written");
    // Beside OUT, so the final move is a rename within one volume.
    sfx::TemporaryFolder folder;
    if (!folder.Make(output, ".signing", &message)) return Fail(err, message);
    const std::string signedFile = folder.File(kSignedFile);

    std::vector<std::string> args = {"sign", "-certs", parsed.Value("--cert"), "-key",
                                     parsed.Value("--key"), "-h", "sha256"};
    if (!parsed.Value("--timestamp").empty()) {
        args.push_back("-ts");
        args.push_back(parsed.Value("--timestamp"));
    }
    args.insert(args.end(), {"-in", in, "-out", signedFile});
    SignatureCheck signing;
    RunVerifier(args, &signing);
    if (signing.state != SignatureState::kVerified) {
        err << signing.verifierOutput;
        return Fail(err, std::string(kVerifier) + " could not sign " + sfx::Quoted(in) + ": " +
                             signing.detail);
    }
    // verify checks the layout too: the trailer must still end exactly where the
    // certificate table begins, or the launcher would not find its package.
    const std::string ca = parsed.Value("--ca").empty() ? parsed.Value("--cert") : parsed.Value("--ca");
    VerifyOutcome outcome;
    if (!VerifyPackage(signedFile, ca, &outcome, &message)) return Fail(err, message);
    PrintVerifyText(outcome, out);
    if (!outcome.failed.empty()) {
        return Fail(err, "the signed package did not pass verification; " + sfx::Quoted(output) +
                             " was not written");
    }
    {
        sfx::InterruptionsHeld held;
        if (!sfx::MoveOver(signedFile, output, &message)) {
            return Fail(err, "cannot write " + sfx::Quoted(output) + ": " + message);
        }
    }
    out << "signed " << Printable(output) << "\n";
    return kExitOk;
}

}  // namespace

int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--cert", "--key", "--out", "--timestamp", "--ca", "--make-test-cert"},
                   &parsed, &message, {"--force"})) {
        return UsageError(err, message, "sign");
    }
    if (parsed.help) {
        out << kSignUsage;
        return kExitOk;
    }
    const std::string certDir = parsed.Value("--make-test-cert");
    if (!certDir.empty()) {
        if (parsed.options.size() != 1 || !parsed.positional.empty()) {
            return UsageError(err, "--make-test-cert takes nothing else", "sign");
        }
        return MakeTestCertificate(certDir, parsed.Has("--force"), out, err);
    }
    if (parsed.Has("--force")) return UsageError(err, "--force goes only with --make-test-cert", "sign");
    for (const char* required : {"--cert", "--key", "--out"}) {
        if (parsed.Value(required).empty()) {
            return UsageError(err, std::string("missing ") + required, "sign");
        }
    }
    if (parsed.positional.size() != 1) return UsageError(err, "sign takes exactly one package", "sign");
    return SignPackage(parsed, out, err);
}

}  // namespace sfxpack
