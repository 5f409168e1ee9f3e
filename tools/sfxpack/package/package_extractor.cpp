#include "tools/sfxpack/package/package_extractor.h"

#include <algorithm>
#include <map>
#include <new>

#include "format/package_format.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/package/entry_name.h"
#include "tools/sfxpack/package/short_alias_index.h"

namespace sfx {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

bool WriteEntry(InputFile* package, const PackageEntryInfo& e, const std::string& target,
                std::vector<uint8_t>* buffer, ProgressCounter* counter, std::string* error) {
    ReplacingFileWriter out;
    if (!out.Open(target, error)) return false;
    for (uint64_t copied = 0; copied < e.size;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer->size(), e.size - copied));
        if (!package->ReadAt(e.contentOffset + copied, buffer->data(), n, error)) return false;
        if (!out.Write(buffer->data(), n, error)) return false;
        copied += n;
        counter->Add(n);
    }
    return out.Commit(error);
}

std::string EntryPlace(const PackageEntryInfo& e, size_t position) {
    return "entry " + Num(position + 1) + " at " + Num(e.headerOffset);
}

// Writes the entries one after the other; a refused or failed one is reported and the
// next one goes on.
class EntryWriter {
public:
    EntryWriter(InputFile* package, const std::string& dir, ExtractOutcome* outcome,
                ProgressCounter* counter, const ExtractObserver& observer)
        : package_(package),
          dir_(dir),
          outcome_(outcome),
          counter_(counter),
          observer_(observer),
          buffer_(kCopyChunk) {}

    void Write(const PackageEntryInfo& e, size_t position);

private:
    void Refuse(ExtractedEntry* result, const PackageEntryInfo& e, size_t position,
                const std::string& why);
    void Done(const ExtractedEntry& result);

    InputFile* package_;
    const std::string& dir_;
    ExtractOutcome* outcome_;
    ProgressCounter* counter_;
    const ExtractObserver& observer_;
    std::vector<uint8_t> buffer_;
    // Windows ignores letter case, so there "A.TXT" lands in the file "a.txt" made before;
    // the spelling first written is kept for the same result on every system.
    std::map<std::string, std::string> spellingByFolded_;
    ShortAliasIndex written_;
};

void EntryWriter::Refuse(ExtractedEntry* result, const PackageEntryInfo& e, size_t position,
                         const std::string& why) {
    result->problem = why;
    outcome_->refused.push_back(EntryPlace(e, position) + " not extracted: " + why);
    Done(*result);
}

void EntryWriter::Done(const ExtractedEntry& result) {
    outcome_->entries.push_back(result);
    if (observer_) observer_(result);
}

void EntryWriter::Write(const PackageEntryInfo& e, size_t position) {
    ExtractedEntry result;
    result.entry = position + 1;
    result.name = e.name;
    result.size = e.size;
    std::string reason;
    // The rule list and verify judge by, so what they pass is written here.
    if (!CheckEntryName(e.name, &reason)) {
        Refuse(&result, e, position, "its name " + reason);
        return;
    }
    size_t other = 0;
    std::string longName;
    // The launcher refuses to write a file that exists under another long name: the one
    // this short name would land in.
    if (written_.FindAliased(e.name, &other, &longName)) {
        counter_->Add(e.size);
        Refuse(&result, e, position,
               "its name " + Quoted(e.name) + " has the shape of the short name Windows may give " +
                   Quoted(longName) + ", written before; the launcher refuses it too");
        return;
    }
    const auto spelling = spellingByFolded_.emplace(AsciiLower(e.name), e.name);
    const std::string& name = spelling.first->second;
    result.path = JoinPath(dir_, name);
    std::string error;
    if (!WriteEntry(package_, e, result.path, &buffer_, counter_, &error)) {
        result.path.clear();
        Refuse(&result, e, position, error);
        return;
    }
    result.written = true;
    result.replaced = !spelling.second;
    outcome_->written.push_back(name);
    written_.Add(name, position);
    Done(result);
}

bool ExtractUnguarded(const std::string& path, const std::string& dir, ExtractOutcome* outcome,
                      std::string* error, const CopyProgress& progress,
                      const ExtractObserver& observer) {
    *outcome = ExtractOutcome();
    InputFile package;
    if (!package.Open(path, error)) return false;
    // The walk and the copies read the same open file, so both see the same bytes.
    if (!InspectPackageSource(&package, Quoted(path), &outcome->layout, error)) return false;
    if (!outcome->layout.structureIntact) {
        *error = Quoted(path) + ": package layout is broken; nothing was extracted";
        return false;
    }

    const std::vector<PackageEntryInfo>& entries = outcome->layout.entries;
    uint64_t wantedBytes = 0;
    for (const PackageEntryInfo& e : entries) {
        std::string reason;
        if (CheckEntryName(e.name, &reason)) wantedBytes += e.size;
    }
    if (!MakeDirectories(dir, error)) return false;

    ProgressCounter counter(progress, wantedBytes);
    EntryWriter writer(&package, dir, outcome, &counter, observer);
    for (size_t i = 0; i < entries.size(); ++i) writer.Write(entries[i], i);
    return true;
}

}  // namespace

bool ExtractPackage(const std::string& path, const std::string& dir, ExtractOutcome* outcome,
                    std::string* error, const CopyProgress& progress,
                    const ExtractObserver& observer) {
    try {
        return ExtractUnguarded(path, dir, outcome, error, progress, observer);
    } catch (const std::bad_alloc&) {
        // Files written so far stay; the one being written was a temporary file, now gone.
        *error = Quoted(path) + ": not enough memory to extract it into " + Quoted(dir);
        return false;
    }
}

}  // namespace sfx
