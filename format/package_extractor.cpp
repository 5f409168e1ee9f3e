#include "format/package_extractor.h"

#include <algorithm>
#include <map>

#include "format/file_io.h"
#include "format/package_format.h"
#include "format/text.h"
#include "format/package_writer.h"

namespace sfx {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

std::string JoinPath(const std::string& dir, const std::string& name) {
#ifdef _WIN32
    const char separator = '\\';
    const bool ends = !dir.empty() && (dir.back() == '\\' || dir.back() == '/');
#else
    const char separator = '/';
    const bool ends = !dir.empty() && dir.back() == '/';
#endif
    return ends ? dir + name : dir + separator + name;
}

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

}  // namespace

bool CheckExtractableName(const std::string& name, std::string* reason) {
    if (!CheckPackableName(name, reason)) {
        if (!IsSafeEntryName(name.data(), name.size())) *reason += "; the launcher refuses it too";
        return false;
    }
    return true;
}

bool ExtractPackage(const std::string& path, const std::string& dir, ExtractOutcome* outcome,
                    std::string* error, const CopyProgress& progress) {
    *outcome = ExtractOutcome();
    InputFile package;
    if (!package.Open(path, error)) return false;
    // The walk and the copies read the same open file, so both see the same bytes.
    if (!InspectPackageSource(&package, Quoted(path), &outcome->layout, error)) return false;
    if (!outcome->layout.structureIntact) {
        *error = Quoted(path) + ": package layout is broken; nothing was extracted";
        return false;
    }

    std::vector<const PackageEntryInfo*> wanted;
    uint64_t wantedBytes = 0;
    const std::vector<PackageEntryInfo>& entries = outcome->layout.entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string reason;
        if (CheckExtractableName(entries[i].name, &reason)) {
            wanted.push_back(&entries[i]);
            wantedBytes += entries[i].size;
        } else {
            outcome->refused.push_back("entry " + std::to_string(i + 1) + " at " +
                                       std::to_string(entries[i].headerOffset) +
                                       " not extracted: its name " + reason);
        }
    }
    if (!MakeDirectories(dir, error)) return false;

    // Windows ignores letter case, so there "A.TXT" lands in the file "a.txt" made before;
    // the spelling first written is kept for the same result on every system.
    std::map<std::string, std::string> spellingByFolded;
    std::vector<uint8_t> buffer(kCopyChunk);
    ProgressCounter counter(progress, wantedBytes);
    for (const PackageEntryInfo* e : wanted) {
        const std::string& name =
            spellingByFolded.emplace(AsciiLower(e->name), e->name).first->second;
        if (!WriteEntry(&package, *e, JoinPath(dir, name), &buffer, &counter, error)) return false;
        outcome->written.push_back(name);
    }
    return true;
}

}  // namespace sfx
