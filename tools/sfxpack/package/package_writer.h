// Builds a package: the launcher image with files appended behind it (see package_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sfxpack/base/byte_source.h"
#include "tools/sfxpack/package/copy_progress.h"
#include "tools/sfxpack/package/pe_image.h"

namespace sfx {

// Name an input is packed under: the part after the last folder separator of this system
// ('/', and on Windows '\\' as well). A Linux file whose name holds a backslash keeps it,
// and the name rule refuses it, rather than being packed under a part of its name.
std::string EntryNameFromPath(const std::string& path);

// True when the image can take a package: an x86 PE32 or x64 PE32+ image, not signed
// (signing must come after packing, or the signature would not cover the files), and with
// nothing behind its last section's raw data, which the launcher takes as the package offset.
// *architecture, when given, is set from its Machine field.
bool CheckLauncherImage(ByteSource* image, std::string* reason,
                        PeArchitecture* architecture = nullptr);

// The architecture of the image at path; false when it cannot be read or is no image at
// all, which CreatePackage then explains.
bool ReadImageArchitecture(const std::string& path, PeArchitecture* architecture);

// One entry of a package create wrote.
struct CreatedEntry {
    std::string name;
    std::string source;  // the input path
    uint64_t size = 0;
    uint64_t headerOffset = 0;
};

// What create wrote: enough for its report without reading the output back.
struct CreatedPackage {
    PeArchitecture architecture = PeArchitecture::kX86;
    uint64_t packageOffset = 0;  // the launcher image's length
    uint64_t fileLength = 0;
    std::vector<CreatedEntry> entries;
};

// Writes launcher + inputs to outPath. Inputs whose names Windows takes for the same
// name, or of which one has the shape of the other's short 8.3 alias, are refused. The
// same inputs always give the same bytes. On any refusal or failure *error holds one line,
// and outPath is left as it was (no partial output, no temporary file). No inputs at all
// gives a valid package with no files. progress, when set, counts the input bytes copied;
// made, when given, is filled once the package is written.
bool CreatePackage(const std::string& launcherPath, const std::vector<std::string>& inputPaths,
                   const std::string& outPath, std::string* error,
                   const CopyProgress& progress = CopyProgress(), CreatedPackage* made = nullptr);

}  // namespace sfx
