#include "tools/sfxpack/package/package_reader.h"

#include <algorithm>
#include <new>

#include "format/entry_header_codec.h"
#include "format/package_format.h"
#include "tools/sfxpack/base/byte_source.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/package/entry_name.h"
#include "tools/sfxpack/package/pe_image.h"
#include "tools/sfxpack/package/short_alias_index.h"

namespace sfx {
namespace {

// Bounds on what a hostile file can make us do or print.
constexpr size_t kMaxEntries = 1000000;
constexpr size_t kMaxProblems = 32;

std::string Describe(const PackageEntryInfo& e, size_t position) {
    return "entry " + Num(position + 1) + " (" + Quoted(e.name) + " at " + Num(e.headerOffset) + ")";
}

class LayoutChecker {
public:
    LayoutChecker(const std::string& label, ByteSource* file, PackageReport* report)
        : label_(label), file_(file), report_(report) {}

    bool Run(std::string* error);
    bool StructureIntact() const { return structureIntact_; }

private:
    // entry: the problem's entry position from 0, or kNoEntry.
    static constexpr size_t kNoEntry = static_cast<size_t>(-1);
    void Problem(uint64_t offset, const std::string& text, size_t entry = kNoEntry) {
        structureIntact_ = false;
        Listed(offset, text, entry);
    }
    // The walk stays sound: the launcher skips just this entry.
    void NameProblem(uint64_t offset, const std::string& text, size_t entry) {
        Listed(offset, text, entry);
    }
    void Listed(uint64_t offset, const std::string& text, size_t entry) {
        const size_t number = entry == kNoEntry ? 0 : entry + 1;
        if (report_->problems.size() < kMaxProblems) {
            report_->problems.push_back({offset, text, number});
        } else if (report_->problems.size() == kMaxProblems) {
            report_->problems.push_back({offset, "further problems not listed", 0});
        }
    }
    bool ReadHeader(uint64_t at, EntryHeader* h, std::string* error) {
        uint8_t bytes[kEntryHeaderSize];
        if (!file_->ReadAt(at, bytes, sizeof bytes, error)) return false;
        *h = DecodeEntryHeader(bytes);
        return true;
    }
    bool ReadPeHeaders(PeImageInfo* pe, std::string* error);
    void CheckCertificateTable(uint64_t directoryOffset);
    // False when the header there is no trailer at all.
    bool CheckTrailer(const EntryHeader& t);
    // Returns false on a read error; *walked is false when the entries ran off the rails.
    bool WalkEntries(uint64_t* end, bool* walked, std::string* error);
    void CheckEntry(const EntryHeader& h, const PackageEntryInfo& e, uint64_t sum);
    void CheckShortAliases();
    bool CheckFiller(uint64_t end, std::string* error);

    const std::string& label_;
    ByteSource* file_;
    PackageReport* report_;
    bool structureIntact_ = true;
};

bool LayoutChecker::ReadPeHeaders(PeImageInfo* pe, std::string* error) {
    std::string reason;
    switch (ReadPeImage(file_, file_->Size(), pe, &reason)) {
        case PeReadResult::kParsed:
            return true;
        case PeReadResult::kRefused:
            *error = label_ + " is not an x86 or x64 Windows image: " + reason;
            return false;
        case PeReadResult::kReadFailed:
            break;
    }
    *error = reason;
    return false;
}

void LayoutChecker::CheckCertificateTable(uint64_t directoryOffset) {
    const uint64_t size = report_->certificateSize;
    const uint64_t offset = report_->certificateOffset;
    if (static_cast<int32_t>(size) < 0) {
        Problem(directoryOffset + 4, "security directory size " + Num(size) +
                " is negative as a signed 32-bit value, so the launcher ignores it");
    } else if (size > 0 && offset + size != report_->fileLength) {
        Problem(directoryOffset, "certificate table (" + Num(size) + " bytes at " + Num(offset) +
                ") does not end at the end of the file (" + Num(report_->fileLength) +
                " bytes), so the trailer is not where the launcher looks for it");
    }
}

bool LayoutChecker::CheckTrailer(const EntryHeader& t) {
    const EntryHeader expected = MakeTrailer(t.FileSize);
    // Without its name the header is not a trailer at all, and its numbers mean nothing.
    if (!std::equal(t.FileName, t.FileName + kFileNameField, expected.FileName)) {
        Problem(report_->trailerOffset, "no trailer at " + Num(report_->trailerOffset) +
                ", where the launcher looks for it (" + Num(kEntryHeaderSize) + " bytes before " +
                (report_->certificateSize > 0 ? "the certificate table" : "the end of the file") +
                "): data appended, file cut short, or not a package");
        return false;
    }
    if (t.FileCount != 0 || t.FileIndex != kTrailerIndex) {
        Problem(report_->trailerOffset, "trailer at " + Num(report_->trailerOffset) + " has FileCount " +
                std::to_string(t.FileCount) + " and FileIndex " + Num(t.FileIndex) +
                " instead of 0 and 1");
    }
    if (t.TotalSize != t.FileSize) {
        Problem(report_->trailerOffset + offsetof(EntryHeader, TotalSize), "trailer TotalSize " + Num(t.TotalSize) + " differs from its FileSize " +
                Num(t.FileSize));
    }
    if (t.FileSize != report_->imageEnd) {
        Problem(report_->trailerOffset + offsetof(EntryHeader, FileSize), "trailer gives package offset " + Num(t.FileSize) +
                ", but the launcher image ends at " + Num(report_->imageEnd));
    }
    return true;
}

void LayoutChecker::CheckEntry(const EntryHeader& h, const PackageEntryInfo& e, uint64_t sum) {
    const size_t position = report_->entries.size();
    const std::string described = Describe(e, position);
    if (h.FileIndex != kFirstEntryIndex + position) {
        Problem(e.headerOffset + offsetof(EntryHeader, FileIndex),
                described + " has FileIndex " + Num(h.FileIndex) + ", expected " +
                    Num(kFirstEntryIndex + position),
                position);
    }
    if (position > 0 && h.FileCount != report_->entries.front().fileCount) {
        Problem(e.headerOffset,
                described + " has FileCount " + std::to_string(h.FileCount) + ", the first entry " +
                    std::to_string(report_->entries.front().fileCount),
                position);
    }
    if (h.TotalSize != sum) {
        Problem(e.headerOffset + offsetof(EntryHeader, TotalSize),
                described + " has TotalSize " + Num(h.TotalSize) +
                    ", but the sizes so far add up to " + Num(sum),
                position);
    }
    const size_t n = e.name.size();
    const uint64_t nameOffset = e.headerOffset + offsetof(EntryHeader, FileName);
    if (n == kFileNameField) {
        Problem(nameOffset, described + " has no NUL at the end of its name", position);
    } else if (std::any_of(h.FileName + n, h.FileName + kFileNameField,
                           [](char c) { return c != '\0'; })) {
        Problem(nameOffset + n, described + " has bytes after the NUL ending its name", position);
    }
    // The same rule as create's and extract's, so what passes here extract writes.
    std::string reason;
    if (!CheckEntryName(e.name, &reason)) {
        NameProblem(nameOffset,
                    described + " cannot be extracted: its name " + reason,
                    position);
    }
}

// An entry under the short name Windows may give another entry's long name would land in
// that file. Either order is a fault of the package; which one is skipped on unpacking
// depends on the order.
void LayoutChecker::CheckShortAliases() {
    const std::vector<PackageEntryInfo>& entries = report_->entries;
    ShortAliasIndex index;
    for (size_t i = 0; i < entries.size(); ++i) index.Add(entries[i].name, i);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t other = 0;
        std::string longName;
        if (!index.FindAliased(entries[i].name, &other, &longName)) continue;
        NameProblem(entries[i].headerOffset + offsetof(EntryHeader, FileName),
                    Describe(entries[i], i) + " has the shape of the short name Windows may give " +
                        Describe(entries[other], other) + ", whose file it could overwrite",
                    i);
    }
}

bool LayoutChecker::WalkEntries(uint64_t* end, bool* walked, std::string* error) {
    const uint64_t trailer = report_->trailerOffset;
    uint64_t at = report_->packageOffset;
    uint64_t sum = 0;
    *walked = false;
    // Filler is shorter than a header, so whatever leaves room for one must be an entry.
    while (trailer - at >= kEntryHeaderSize) {
        if (report_->entries.size() == kMaxEntries) {
            Problem(at, "more than " + Num(kMaxEntries) + " entries; stopped reading");
            return true;
        }
        EntryHeader h;
        if (!ReadHeader(at, &h, error)) return false;
        PackageEntryInfo e;
        e.index = h.FileIndex;
        e.fileCount = h.FileCount;
        e.name.assign(h.FileName, FileNameLength(h.FileName));
        e.size = h.FileSize;
        e.totalSize = h.TotalSize;
        e.headerOffset = at;
        e.contentOffset = at + kEntryHeaderSize;
        if (e.size > trailer - e.contentOffset) {
            Problem(at + offsetof(EntryHeader, FileSize),
                    Describe(e, report_->entries.size()) + " claims " + Num(e.size) +
                        " bytes, but only " + Num(trailer - e.contentOffset) +
                        " remain before the trailer",
                    report_->entries.size());
            return true;
        }
        sum += e.size;
        CheckEntry(h, e, sum);
        report_->entries.push_back(e);
        NextEntryOffset(at, e.size, &at);  // fits: the size was checked against the trailer
    }
    const size_t found = report_->entries.size();
    if (found > 0 && report_->entries.front().fileCount != static_cast<int64_t>(found)) {
        Problem(report_->packageOffset, "entries give FileCount " + std::to_string(report_->entries.front().fileCount) +
                ", but " + Num(found) + " entries were found");
    }
    *end = at;
    *walked = true;
    return true;
}

bool LayoutChecker::CheckFiller(uint64_t end, std::string* error) {
    report_->fillerOffset = end;
    report_->fillerLength = report_->trailerOffset - end;
    const uint64_t expected = FillerLength(end);
    if (report_->fillerLength != expected) {
        Problem(end, "filler is " + Num(report_->fillerLength) + " bytes, expected " + Num(expected) +
                " so that the trailer ends on a multiple of " + Num(kTrailerAlignment));
    }
    uint8_t filler[kEntryHeaderSize];  // the walk leaves less than a header
    const size_t n = static_cast<size_t>(report_->fillerLength);
    if (!file_->ReadAt(end, filler, n, error)) return false;
    const uint8_t* odd = std::find_if(filler, filler + n, [](uint8_t b) { return b != kFillerByte; });
    if (odd != filler + n) {
        Problem(end + static_cast<uint64_t>(odd - filler),
                "filler at " + Num(end) + " holds bytes other than 0xFF");
    }
    return true;
}

bool LayoutChecker::Run(std::string* error) {
    PeImageInfo pe;
    if (!ReadPeHeaders(&pe, error)) return false;
    report_->fileLength = file_->Size();
    report_->imageEnd = pe.endOfSectionData;
    report_->architecture = pe.architecture;
    report_->certificateOffset = pe.securityDirAddress;
    report_->certificateSize = pe.securityDirSize;
    CheckCertificateTable(pe.securityDirEntryOffset);

    const uint64_t distance = TrailerDistanceFromEnd(pe.securityDirSize);
    if (distance > report_->fileLength) {
        Problem(0, "file (" + Num(report_->fileLength) + " bytes) is too short to hold a trailer" +
                (distance > kEntryHeaderSize ? " before its certificate table" : ""));
        return true;
    }
    report_->trailerOffset = report_->fileLength - distance;
    if (report_->trailerOffset < report_->imageEnd) {
        Problem(report_->trailerOffset, "trailer position " + Num(report_->trailerOffset) +
                " lies inside the launcher image, which ends at " + Num(report_->imageEnd) +
                ": there is no package");
        return true;
    }
    EntryHeader trailer;
    if (!ReadHeader(report_->trailerOffset, &trailer, error)) return false;
    if (!CheckTrailer(trailer)) return true;
    report_->packageOffset = trailer.FileSize;
    if (report_->packageOffset > report_->trailerOffset) {
        Problem(report_->trailerOffset + offsetof(EntryHeader, FileSize), "package offset " + Num(report_->packageOffset) + " lies beyond the trailer at " +
                Num(report_->trailerOffset));
        return true;
    }
    uint64_t end = 0;
    bool walked = false;
    if (!WalkEntries(&end, &walked, error)) return false;
    CheckShortAliases();
    if (walked) {
        std::vector<std::string> names;
        for (const PackageEntryInfo& e : report_->entries) names.push_back(e.name);
        const std::string warning = MissingRunBatWarning(names);
        if (!warning.empty()) report_->warnings.push_back(warning);
    }
    return !walked || CheckFiller(end, error);
}

}  // namespace

bool InspectPackageSource(ByteSource* source, const std::string& label, PackageReport* report,
                          std::string* error) {
    *report = PackageReport();
    try {
        LayoutChecker checker(label, source, report);
        if (!checker.Run(error)) return false;
        report->intact = report->problems.empty();
        report->structureIntact = checker.StructureIntact();
        return true;
    } catch (const std::bad_alloc&) {
        // Many entries on a small machine: the report cannot hold them all.
        const size_t found = report->entries.size();
        *report = PackageReport();
        *error = label + ": not enough memory to read its entries (" + Num(found) +
                 " read so far)";
        return false;
    }
}

bool InspectPackage(const std::string& path, PackageReport* report, std::string* error) {
    InputFile file;
    if (!file.Open(path, error)) {
        *report = PackageReport();
        return false;
    }
    return InspectPackageSource(&file, Quoted(path), report, error);
}

bool InspectPackageData(const uint8_t* data, size_t size, PackageReport* report,
                        std::string* error) {
    MemoryByteSource source(data, size);
    return InspectPackageSource(&source, "the data", report, error);
}

}  // namespace sfx
