#include "tools/sfxpack/package_check.h"

#include "tools/sfxpack/base/child_process.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/package/certificate_table.h"

namespace sfxpack {

void RunVerifier(const std::vector<std::string>& args, SignatureCheck* check) {
    const std::string verifier = sfx::FindOnPath(kVerifier);
    if (verifier.empty()) {
        check->state = SignatureState::kNotChecked;
        check->detail = std::string(kVerifier) + " was not found on PATH";
        return;
    }
    sfx::ChildResult result;
    std::string error;
    if (!sfx::RunChild(verifier, args, &result, &error)) {
        check->state = SignatureState::kNotChecked;
        check->detail = error;
        return;
    }
    check->verifierExitCode = result.exitCode;
    check->verifierOutput = result.output;
    if (result.exitCode != 0) {
        check->state = SignatureState::kNotVerified;
        check->detail = std::string(kVerifier) + " exited with " + std::to_string(result.exitCode);
        return;
    }
    check->state = SignatureState::kVerified;
    check->detail = std::string("verified by ") + kVerifier;
}

bool VerifyPackage(const std::string& path, const std::string& ca, VerifyOutcome* outcome,
                   std::string* error) {
    *outcome = VerifyOutcome();
    {
        sfx::InputFile file;  // closed before the verifier runs, so it does not inherit it
        if (!file.Open(path, error) ||
            !sfx::InspectPackageSource(&file, sfx::Quoted(path), &outcome->report, error)) {
            return false;
        }
        if (outcome->report.certificateSize != 0) {
            sfx::CertificateTableInfo info;
            outcome->tableOk =
                sfx::CheckCertificateTable(&file, outcome->report, &info, &outcome->tableProblem);
        }
    }
    if (!outcome->report.intact) outcome->failed.push_back("layout");
    if (outcome->report.certificateSize == 0) return true;
    // A table that is not what a signer writes would only give the verifier's parse errors.
    if (!outcome->tableOk) {
        outcome->signature.state = SignatureState::kNotChecked;
        outcome->signature.detail = "the certificate table is broken";
        outcome->failed.push_back("certificate table");
        return true;
    }
    std::vector<std::string> args = {"verify", "-in", path};
    if (!ca.empty()) {
        args.push_back("-CAfile");
        args.push_back(ca);
    }
    RunVerifier(args, &outcome->signature);
    if (outcome->signature.state != SignatureState::kVerified) outcome->failed.push_back("signature");
    return true;
}

}  // namespace sfxpack
