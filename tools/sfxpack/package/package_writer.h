// Builds a package: the launcher image with files appended behind it (see package_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sfxpack/base/byte_source.h"
#include "tools/sfxpack/package/copy_progress.h"
#include "tools/sfxpack/package/pe_image.h"

namespace sfx {

// Name an input is packed under: the part after the last '/' or '\'. Both count as
// separators on every platform, since the launcher runs on Windows.
std::string EntryNameFromPath(const std::string& path);

// A name component on Windows holds at most 255 characters, fewer than the entry header's
// name field would take.
constexpr size_t kMaxPackableNameLength = 255;

// True when a file may be packed under this name: one the launcher accepts
// (IsSafeEntryName) and that Windows can create as given, i.e. printable ASCII, at most
// kMaxPackableNameLength bytes, none of < > : " / \ | ? *, not ending in a dot or a blank.
bool CheckPackableName(const std::string& name, std::string* reason);

// True when the image can take a package: an x86 PE32 or x64 PE32+ image, not signed
// (signing must come after packing, or the signature would not cover the files), and with
// nothing behind its last section's raw data, which the launcher takes as the package offset.
bool CheckLauncherImage(ByteSource* image, std::string* reason);

// The architecture of the image at path; false when it cannot be read or is no image at
// all, which CreatePackage then explains.
bool ReadImageArchitecture(const std::string& path, PeArchitecture* architecture);

// Writes launcher + inputs to outPath. Inputs whose names Windows takes for the same
// name, or of which one has the shape of the other's short 8.3 alias, are refused. The same inputs always give the same bytes. On any
// refusal or failure *error holds one line, and outPath is left as it was (no partial
// output, no temporary file). No inputs at all gives a valid package with no files.
// progress, when set, counts the input bytes copied.
bool CreatePackage(const std::string& launcherPath, const std::vector<std::string>& inputPaths,
                   const std::string& outPath, std::string* error,
                   const CopyProgress& progress = CopyProgress());

}  // namespace sfx
