// Unpacks a package into a folder the way the launcher would, without running anything.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/sfxpack/package/copy_progress.h"
#include "tools/sfxpack/package/package_reader.h"

namespace sfx {

// What became of one entry.
struct ExtractedEntry {
    size_t entry = 0;     // its place in the package, from 1
    std::string name;     // as stored
    uint64_t size = 0;
    std::string path;     // the file it went to; empty when refused
    bool written = false;
    bool replaced = false;  // it replaced the file of an earlier entry of that name
    std::string problem;    // why it was not written
};

// Told of each entry once it is written or refused, in package order.
using ExtractObserver = std::function<void(const ExtractedEntry&)>;

struct ExtractOutcome {
    PackageReport layout;
    std::vector<ExtractedEntry> entries;
    std::vector<std::string> written;  // entry names in package order; a replaced one repeats
    std::vector<std::string> refused;  // one line per entry not written: which, and why
};

// Writes every entry of the package at path into dir, creating dir when missing. The
// entries are those the launcher's walk finds, from the package offset to the trailer,
// each size checked against the file. A later entry of a name already written (letter
// case ignored, as on Windows) replaces that file. Listed in outcome->refused, in package
// order, and skipped while the others go on: an entry whose name is refused, one whose
// name has the shape of the short 8.3 alias of a file written before (the launcher
// refuses it, as it would land in that file), and one whose file could not be written.
// Each file is written to a short temporary name in dir and moved over its target, so
// nothing outside dir is touched and no partial file is left.
//
// Fails with *error, writing nothing and leaving dir alone, when the package cannot be
// read or its layout is broken (outcome->layout says how), or when dir cannot be made.
bool ExtractPackage(const std::string& path, const std::string& dir, ExtractOutcome* outcome,
                    std::string* error, const CopyProgress& progress = CopyProgress(),
                    const ExtractObserver& observer = ExtractObserver());

}  // namespace sfx
