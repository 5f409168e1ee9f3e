// Inspects a package the way the launcher finds it, and checks every rule of the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sfxpack/base/byte_source.h"
#include "tools/sfxpack/package/pe_image.h"

namespace sfx {

struct PackageEntryInfo {
    uint32_t index = 0;      // FileIndex as stored
    int32_t fileCount = 0;   // FileCount as stored
    std::string name;        // up to the first NUL of FileName
    uint64_t size = 0;       // FileSize
    uint64_t totalSize = 0;  // TotalSize as stored
    uint64_t headerOffset = 0;
    uint64_t contentOffset = 0;
};

// Entries are numbered by their place in the package, the first being entry 1, in every
// message, list line and JSON member ("entry"); FileIndex is only a stored field.
struct PackageProblem {
    uint64_t offset = 0;  // file offset of the faulty field or span
    std::string text;     // plain words
    size_t entry = 0;     // the entry it is about, from 1; 0 when it is about none

    bool operator==(const PackageProblem& o) const {
        return offset == o.offset && text == o.text && entry == o.entry;
    }
};

struct PackageReport {
    uint64_t fileLength = 0;
    uint64_t imageEnd = 0;       // end of the launcher's last section, from its PE header
    PeArchitecture architecture = PeArchitecture::kX86;  // from its Machine field
    uint64_t packageOffset = 0;  // P, as the trailer's FileSize gives it
    std::vector<PackageEntryInfo> entries;
    uint64_t fillerOffset = 0;
    uint64_t fillerLength = 0;
    uint64_t trailerOffset = 0;
    uint64_t certificateOffset = 0;  // security directory address; 0 when unsigned
    uint64_t certificateSize = 0;
    bool intact = false;
    // True also when the only faults are entry names the launcher refuses, or names with
    // the short-alias shape of another entry's: the walk from package offset to trailer
    // is sound, and every other entry can be unpacked.
    bool structureIntact = false;
    std::vector<PackageProblem> problems;  // one per fault; empty when intact
    // What is no fault of the layout but should be known: no run.bat, so the launcher
    // started without arguments starts nothing. Only once the entries were walked.
    std::vector<std::string> warnings;
};

// Fails (with *error) only when the file cannot be read or is no x86 or x64 image at all.
// Otherwise fills *report; a damaged package is reported there, not as a failure.
// Reads only headers and small spans, never the entry contents.
bool InspectPackage(const std::string& path, PackageReport* report, std::string* error);

// The same over a package in memory. Never reads outside [data, data + size), and the
// work is bounded by size whatever the headers claim, so it is safe on hostile input.
bool InspectPackageData(const uint8_t* data, size_t size, PackageReport* report,
                        std::string* error);

// The core of both; label names the source in *error.
bool InspectPackageSource(ByteSource* source, const std::string& label, PackageReport* report,
                          std::string* error);

}  // namespace sfx
