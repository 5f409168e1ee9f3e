// What the verbs print: plain text lines, or one JSON document (README.md gives the
// shapes). Every document has "format": 1 first.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/sfxpack/package/package_extractor.h"
#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package/package_writer.h"
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
// create: what was written, from the inputs.
void PrintCreateJson(const std::string& out, const std::string& launcher,
                     const sfx::CreatedPackage& made, const std::vector<std::string>& warnings,
                     std::ostream& stream);
// extract: the layout's problems and each entry's fate; error is empty when the walk ran.
void PrintExtractJson(const std::string& path, const std::string& to,
                      const sfx::ExtractOutcome& outcome, const std::string& error,
                      std::ostream& stream);
// The document of a file that could not be inspected, or of a create that failed.
void PrintErrorJson(const std::string& path, const std::string& error, std::ostream& out);

}  // namespace sfxpack
