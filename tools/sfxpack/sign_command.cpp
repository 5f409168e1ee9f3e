// sfxpack sign: signs a package with osslsigncode and writes it only once verify has
// passed it; --make-test-cert makes a throw-away certificate with openssl.
#include "tools/sfxpack/base/child_process.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/exit_codes.h"
#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package_check.h"
#include "tools/sfxpack/report_output.h"
#include "tools/sfxpack/verbs.h"

namespace sfxpack {
namespace {

const char kSignUsage[] =
    "usage: sfxpack sign --cert CERT.pem --key KEY.pem IN.exe --out OUT.exe\n"
    "                    [--timestamp URL] [--ca CA.pem]\n"
    "       sfxpack sign --make-test-cert DIR\n"
    "\n"
    "Signs the package IN.exe with osslsigncode (SHA-256), then checks the result as\n"
    "'sfxpack verify --ca CA.pem' does (CA.pem defaults to CERT.pem, which a self-signed\n"
    "certificate needs) and only then writes it to OUT.exe: a failed run leaves OUT.exe\n"
    "as it was. --timestamp has the signature timestamped by the RFC 3161 server at URL\n"
    "(over the network), so it stays valid after the certificate expires.\n"
    "--make-test-cert writes DIR/cert.pem and DIR/key.pem, a self-signed code-signing\n"
    "certificate good for 30 days, with openssl; for tests only.\n";

// A folder of our own beside OUT, so the final move is a rename within one volume; gone
// with whatever is left in it when this ends.
class SigningFolder {
public:
    explicit SigningFolder(const std::string& out) {
        for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
            const std::string candidate = sfx::TemporaryPathBeside(out, attempt, ".signing");
            if (sfx::MakeNewDirectory(candidate)) path_ = candidate;
        }
    }
    ~SigningFolder() {
        if (path_.empty()) return;
        sfx::RemoveFile(File());
        sfx::RemoveEmptyDirectory(path_);
    }
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    bool Made() const { return !path_.empty(); }
    std::string File() const { return sfx::JoinPath(path_, "signed.exe"); }

private:
    std::string path_;
};

int Fail(std::ostream& err, const std::string& message) {
    err << "sfxpack: " << Printable(message) << "\n";
    return kExitFailed;
}

int MakeTestCertificate(const std::string& dir, std::ostream& out, std::ostream& err) {
    const std::string openssl = sfx::FindOnPath("openssl");
    if (openssl.empty()) return Fail(err, "openssl was not found on PATH; it makes the certificate");
    std::string error;
    if (!sfx::MakeDirectories(dir, &error)) return Fail(err, error);
    sfx::ChildResult result;
    const std::vector<std::string> args = {
        "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=sfxpack test signer",
        "-addext", "extendedKeyUsage=codeSigning", "-days", "30",
        "-keyout", sfx::JoinPath(dir, "key.pem"), "-out", sfx::JoinPath(dir, "cert.pem")};
    if (!sfx::RunChild(openssl, args, &result, &error)) return Fail(err, error);
    if (result.exitCode != 0) {
        err << result.output;
        return Fail(err, "openssl could not make a certificate in " + sfx::Quoted(dir));
    }
    out << "made " << sfx::JoinPath(dir, "cert.pem") << " and " << sfx::JoinPath(dir, "key.pem")
        << "\n";
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
    SigningFolder folder(output);
    if (!folder.Made()) return Fail(err, "cannot make a folder beside " + sfx::Quoted(output));

    std::vector<std::string> args = {"sign", "-certs", parsed.Value("--cert"), "-key",
                                     parsed.Value("--key"), "-h", "sha256"};
    if (!parsed.Value("--timestamp").empty()) {
        args.push_back("-ts");
        args.push_back(parsed.Value("--timestamp"));
    }
    args.insert(args.end(), {"-in", in, "-out", folder.File()});
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
    if (!VerifyPackage(folder.File(), ca, &outcome, &message)) return Fail(err, message);
    PrintVerifyText(outcome, out);
    if (!outcome.failed.empty()) {
        return Fail(err, "the signed package did not pass verification; " + sfx::Quoted(output) +
                             " was not written");
    }
    if (!sfx::MoveOver(folder.File(), output, &message)) {
        return Fail(err, "cannot write " + sfx::Quoted(output) + ": " + message);
    }
    out << "signed " << output << "\n";
    return kExitOk;
}

}  // namespace

int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {"--cert", "--key", "--out", "--timestamp", "--ca", "--make-test-cert"},
                   &parsed, &message)) {
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
        return MakeTestCertificate(certDir, out, err);
    }
    for (const char* required : {"--cert", "--key", "--out"}) {
        if (parsed.Value(required).empty()) {
            return UsageError(err, std::string("missing ") + required, "sign");
        }
    }
    if (parsed.positional.size() != 1) return UsageError(err, "sign takes exactly one package", "sign");
    return SignPackage(parsed, out, err);
}

}  // namespace sfxpack
