// What list and verify print: plain text lines, or one JSON document (README.md gives
// its shape).
#pragma once

#include <ostream>
#include <string>

#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package_check.h"

namespace sfxpack {

// list: the architecture, the package offset, each entry, filler, trailer, certificate
// table and layout.
void PrintReport(const sfx::PackageReport& report, std::ostream& out);
// verify: the architecture, the layout, the certificate table and the signature, one
// line each.
void PrintVerifyText(const VerifyOutcome& outcome, std::ostream& out);

void PrintReportJson(const std::string& path, const sfx::PackageReport& report, std::ostream& out);
void PrintVerifyJson(const std::string& path, const VerifyOutcome& outcome, std::ostream& out);
// The document of a file that could not be inspected at all.
void PrintErrorJson(const std::string& path, const std::string& error, std::ostream& out);

}  // namespace sfxpack
