#include "tools/sfxpack/report_output.h"

#include <sstream>

#include "format/package_format.h"
#include "tools/sfxpack/cli_support.h"
#include "tools/sfxpack/json_writer.h"

namespace sfxpack {
namespace {

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

const char* StateName(SignatureState state) {
    switch (state) {
        case SignatureState::kUnsigned:
            return "unsigned";
        case SignatureState::kVerified:
            return "verified";
        case SignatureState::kNotVerified:
            return "not verified";
        case SignatureState::kNotChecked:
            break;
    }
    return "not checked";
}

void WriteCertificateTable(const sfx::PackageReport& r, const VerifyOutcome* checked,
                           JsonWriter* j) {
    j->Key("certificateTable");
    if (r.certificateSize == 0) {
        j->Null();
        return;
    }
    j->BeginObject();
    j->Key("offset");
    j->Number(r.certificateOffset);
    j->Key("size");
    j->Number(r.certificateSize);
    if (checked != nullptr) {
        j->Key("intact");
        j->Bool(checked->tableOk);
        j->Key("problem");
        checked->tableOk ? j->Null() : j->String(Printable(checked->tableProblem));
    }
    j->EndObject();
}

// Bumped when a member changes its meaning or goes; new members do not bump it.
constexpr uint64_t kJsonFormat = 1;

// Every document starts so.
void BeginDocument(JsonWriter* j) {
    j->BeginObject();
    j->Key("format");
    j->Number(kJsonFormat);
}

void WriteWarnings(const std::vector<std::string>& warnings, JsonWriter* j) {
    j->Key("warnings");
    j->BeginArray();
    for (const std::string& w : warnings) {
        j->BeginObject();
        j->Key("text");
        j->String(Printable(w));
        j->EndObject();
    }
    j->EndArray();
}

// The members every entry object of create and extract starts with.
void BeginEntry(size_t entry, const std::string& name, uint64_t size, JsonWriter* j) {
    j->BeginObject();
    j->Key("entry");
    j->Number(entry);
    j->Key("name");
    j->Bytes(name);
    j->Key("size");
    j->Number(size);
}

void WriteEntries(const sfx::PackageReport& r, JsonWriter* j) {
    j->Key("entries");
    j->BeginArray();
    for (size_t i = 0; i < r.entries.size(); ++i) {
        const sfx::PackageEntryInfo& e = r.entries[i];
        j->BeginObject();
        j->Key("entry");
        j->Number(i + 1);
        j->Key("index");
        j->Number(e.index);
        j->Key("name");
        j->Bytes(e.name);
        j->Key("size");
        j->Number(e.size);
        j->Key("headerOffset");
        j->Number(e.headerOffset);
        j->Key("offset");
        j->Number(e.contentOffset);
        j->EndObject();
    }
    j->EndArray();
}

void WriteProblems(const sfx::PackageReport& r, JsonWriter* j) {
    j->Key("problems");
    j->BeginArray();
    for (const sfx::PackageProblem& p : r.problems) {
        j->BeginObject();
        j->Key("entry");
        p.entry != 0 ? j->Number(p.entry) : j->Null();
        j->Key("offset");
        j->Number(p.offset);
        j->Key("text");
        j->String(Printable(p.text));
        j->EndObject();
    }
    j->EndArray();
}

// The members list and verify share; the caller has opened the object. checked is null
// for list, which does not check the certificate table.
void WriteReportMembers(const std::string& path, const sfx::PackageReport& r,
                        const VerifyOutcome* checked, JsonWriter* j) {
    j->Key("file");
    j->String(path);
    j->Key("fileLength");
    j->Number(r.fileLength);
    j->Key("imageEnd");
    j->Number(r.imageEnd);
    j->Key("architecture");
    j->String(sfx::ArchitectureName(r.architecture));
    // 0 would lie inside the launcher's own headers: no trailer gave a package offset.
    j->Key("packageOffset");
    r.packageOffset != 0 ? j->Number(r.packageOffset) : j->Null();
    WriteEntries(r, j);
    j->Key("filler");
    if (r.fillerOffset != 0) {
        j->BeginObject();
        j->Key("offset");
        j->Number(r.fillerOffset);
        j->Key("length");
        j->Number(r.fillerLength);
        j->EndObject();
    } else {
        j->Null();
    }
    j->Key("trailerOffset");
    r.trailerOffset != 0 ? j->Number(r.trailerOffset) : j->Null();
    WriteCertificateTable(r, checked, j);
    j->Key("intact");
    j->Bool(r.intact);
    WriteProblems(r, j);
    WriteWarnings(r.warnings, j);
}

void WriteSignature(const SignatureCheck& s, JsonWriter* j) {
    j->Key("signature");
    j->BeginObject();
    j->Key("state");
    j->String(StateName(s.state));
    j->Key("detail");
    s.detail.empty() ? j->Null() : j->String(Printable(s.detail));
    j->Key("verifierExitCode");
    s.verifierExitCode >= 0 ? j->Number(static_cast<uint64_t>(s.verifierExitCode)) : j->Null();
    j->Key("verifierOutput");
    s.verifierExitCode >= 0 ? j->String(s.verifierOutput) : j->Null();
    j->EndObject();
}

}  // namespace

void PrintReport(const sfx::PackageReport& r, std::ostream& out) {
    // Offset 0 is inside the launcher's own headers: no trailer gave a package offset.
    out << "file length: " << r.fileLength << "\n"
        << "architecture: " << sfx::ArchitectureName(r.architecture) << "\n"
        << "package offset: "
        << (r.packageOffset != 0 ? std::to_string(r.packageOffset) : std::string("unknown")) << "\n"
        << "entries: " << r.entries.size() << "\n";
    for (size_t i = 0; i < r.entries.size(); ++i) {
        const sfx::PackageEntryInfo& e = r.entries[i];
        out << "  entry " << i + 1 << "  size " << e.size << "  header at " << e.headerOffset
            << "  content at " << e.contentOffset << "  name " << Printable(e.name) << "\n";
    }
    // The filler lies behind the launcher image, so offset 0 means the walk never got there.
    if (r.fillerOffset != 0) {
        out << "filler: " << r.fillerLength << " bytes at " << r.fillerOffset << "\n";
    }
    out << "trailer at: " << r.trailerOffset << "\n";
    if (r.certificateSize == 0) {
        out << "certificate table: none\n";
    } else {
        out << "certificate table: " << r.certificateSize << " bytes at " << r.certificateOffset
            << "\n";
    }
    PrintLayout(r, out);
}

void PrintVerifyText(const VerifyOutcome& o, std::ostream& out) {
    out << "architecture: " << sfx::ArchitectureName(o.report.architecture) << "\n";
    PrintLayout(o.report, out);
    if (o.report.certificateSize == 0) {
        out << "certificate table: none (not signed)\n";
        return;
    }
    if (o.tableOk) {
        out << "certificate table: " << o.report.certificateSize << " bytes at "
            << o.report.certificateOffset << ", PKCS#7\n";
    } else {
        out << "certificate table: BROKEN: " << Printable(o.tableProblem) << "\n";
    }
    const SignatureCheck& s = o.signature;
    if (s.state == SignatureState::kVerified) {
        out << "signature: " << s.detail << "\n";
    } else if (s.state == SignatureState::kNotVerified) {
        out << "signature: NOT verified: " << s.detail << ":\n";
        PrintIndented(s.verifierOutput, out);
    } else {
        out << "signature: NOT checked: " << Printable(s.detail) << "\n";
    }
}

void PrintReportJson(const std::string& path, const sfx::PackageReport& report, std::ostream& out) {
    JsonWriter j(out);
    BeginDocument(&j);
    WriteReportMembers(path, report, nullptr, &j);
    SignatureCheck unchecked;
    if (report.certificateSize != 0) {
        unchecked.state = SignatureState::kNotChecked;
        unchecked.detail = "list does not check signatures; verify does";
    }
    WriteSignature(unchecked, &j);
    j.EndObject();
    j.Finish();
}

void PrintVerifyJson(const std::string& path, const VerifyOutcome& o, std::ostream& out) {
    JsonWriter j(out);
    BeginDocument(&j);
    WriteReportMembers(path, o.report, &o, &j);
    WriteSignature(o.signature, &j);
    j.Key("verified");
    j.Bool(o.failed.empty());
    j.Key("failed");
    j.BeginArray();
    for (const std::string& f : o.failed) j.String(f);
    j.EndArray();
    j.EndObject();
    j.Finish();
}

void PrintErrorJson(const std::string& path, const std::string& error, std::ostream& out) {
    JsonWriter j(out);
    BeginDocument(&j);
    j.Key("file");
    j.String(path);
    j.Key("error");
    j.String(Printable(error));
    j.EndObject();
    j.Finish();
}

void PrintCreateJson(const std::string& out, const std::string& launcher,
                     const sfx::CreatedPackage& made, const std::vector<std::string>& warnings,
                     std::ostream& stream) {
    JsonWriter j(stream);
    BeginDocument(&j);
    j.Key("file");
    j.String(out);
    j.Key("fileLength");
    j.Number(made.fileLength);
    j.Key("launcher");
    j.String(launcher);
    j.Key("architecture");
    j.String(sfx::ArchitectureName(made.architecture));
    j.Key("packageOffset");
    j.Number(made.packageOffset);
    j.Key("entries");
    j.BeginArray();
    for (size_t i = 0; i < made.entries.size(); ++i) {
        const sfx::CreatedEntry& e = made.entries[i];
        BeginEntry(i + 1, e.name, e.size, &j);
        j.Key("headerOffset");
        j.Number(e.headerOffset);
        j.Key("offset");
        j.Number(e.headerOffset + sfx::kEntryHeaderSize);
        j.Key("source");
        j.String(e.source);
        j.EndObject();
    }
    j.EndArray();
    WriteWarnings(warnings, &j);
    j.EndObject();
    j.Finish();
}

void PrintExtractJson(const std::string& path, const std::string& to,
                      const sfx::ExtractOutcome& outcome, const std::string& error,
                      std::ostream& stream) {
    const sfx::PackageReport& r = outcome.layout;
    JsonWriter j(stream);
    BeginDocument(&j);
    j.Key("file");
    j.String(path);
    j.Key("to");
    j.String(to);
    j.Key("error");
    error.empty() ? j.Null() : j.String(Printable(error));
    j.Key("architecture");
    r.fileLength != 0 ? j.String(sfx::ArchitectureName(r.architecture)) : j.Null();
    j.Key("intact");
    j.Bool(r.intact);
    WriteProblems(r, &j);
    WriteWarnings(r.warnings, &j);
    j.Key("entries");
    j.BeginArray();
    size_t written = 0;
    for (const sfx::ExtractedEntry& e : outcome.entries) {
        written += e.written ? 1 : 0;
        BeginEntry(e.entry, e.name, e.size, &j);
        j.Key("path");
        e.written ? j.String(e.path) : j.Null();
        j.Key("written");
        j.Bool(e.written);
        j.Key("replaced");
        j.Bool(e.replaced);
        j.Key("problem");
        e.problem.empty() ? j.Null() : j.String(Printable(e.problem));
        j.EndObject();
    }
    j.EndArray();
    j.Key("extracted");
    j.Number(written);
    j.Key("complete");
    j.Bool(error.empty() && written == r.entries.size());
    j.EndObject();
    j.Finish();
}

}  // namespace sfxpack
