// What verify finds out about a package: the layout, the certificate table and, through
// osslsigncode, the signature. Shared by verify and sign, which prints the same report.
#pragma once

#include <string>
#include <vector>

#include "tools/sfxpack/package/package_reader.h"

namespace sfxpack {

constexpr char kVerifier[] = "osslsigncode";

enum class SignatureState {
    kUnsigned,     // no certificate table
    kVerified,     // osslsigncode verify passed it
    kNotVerified,  // osslsigncode verify failed it
    kNotChecked,   // the check could not be made: verifier missing, or the table broken
};

struct SignatureCheck {
    SignatureState state = SignatureState::kUnsigned;
    std::string detail;          // why not checked, or how the verifier ended
    int verifierExitCode = -1;   // when it ran
    std::string verifierOutput;  // when it ran
};

struct VerifyOutcome {
    sfx::PackageReport report;
    bool tableOk = false;      // meaningful when the package is signed
    std::string tableProblem;  // when it is not ok
    SignatureCheck signature;
    std::vector<std::string> failed;  // "layout", "certificate table", "signature"
};

// False with *error only when the file cannot be read or is no x86 or x64 image. ca,
// when not empty, is the certificate osslsigncode is told to trust.
bool VerifyPackage(const std::string& path, const std::string& ca, VerifyOutcome* outcome,
                   std::string* error);

// Runs osslsigncode with args and fills *check from how it ended.
void RunVerifier(const std::vector<std::string>& args, SignatureCheck* check);

}  // namespace sfxpack
