#include "tools/sfxpack/package/package_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <new>

#include "format/entry_header_codec.h"
#include "format/package_format.h"
#include "tools/sfxpack/base/file_io.h"
#include "tools/sfxpack/base/text.h"
#include "tools/sfxpack/package/entry_name.h"
#include "tools/sfxpack/package/pe_image.h"
#include "tools/sfxpack/package/short_alias_index.h"

namespace sfx {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

struct Input {
    std::string path;
    std::string name;
    uint64_t size;
};

// A file packed under the short name Windows may give another input's long name could
// overwrite that one when unpacked, so the two cannot go into one package.
bool CheckShortAliases(const std::vector<Input>& inputs, std::string* error) {
    ShortAliasIndex index;
    for (size_t i = 0; i < inputs.size(); ++i) index.Add(inputs[i].name, i);
    for (const Input& in : inputs) {
        size_t other = 0;
        std::string longName;
        if (!index.FindAliased(in.name, &other, &longName)) continue;
        *error = "inputs " + Quoted(inputs[other].path) + " and " + Quoted(in.path) +
                 " cannot be packed together: " + Quoted(in.name) +
                 " has the shape of the short name Windows may give " + Quoted(longName) +
                 ", so unpacking could overwrite one with the other";
        return false;
    }
    return true;
}

bool CheckInputs(const std::vector<std::string>& paths, std::vector<Input>* inputs,
                 std::string* error) {
    // Windows file names ignore case, so "A.txt" and "a.txt" would overwrite each other.
    std::map<std::string, size_t> inputByFoldedName;
    for (const std::string& path : paths) {
        Input in{path, EntryNameFromPath(path), 0};
        std::string reason;
        if (!CheckEntryName(in.name, &reason)) {
            *error = "input " + Quoted(path) + " cannot be packed: its name " + reason;
            return false;
        }
        // Opening proves the file is readable now rather than halfway through the output.
        InputFile file;
        if (!file.Open(path, &reason)) {
            *error = "input " + reason;
            return false;
        }
        in.size = file.Size();
        const auto seen = inputByFoldedName.emplace(AsciiLower(in.name), inputs->size());
        if (!seen.second) {
            const Input& earlier = (*inputs)[seen.first->second];
            *error = "inputs " + Quoted(earlier.path) + " and " + Quoted(path) +
                     (earlier.name == in.name
                          ? " would both be packed as " + Quoted(in.name)
                          : " would be packed as " + Quoted(earlier.name) + " and " +
                                Quoted(in.name) + ", which Windows takes for the same name");
            return false;
        }
        inputs->push_back(in);
    }
    return CheckShortAliases(*inputs, error);
}

EntryHeader MakeEntryHeader(const Input& in, int32_t count, uint32_t index, uint64_t total) {
    EntryHeader h = {};
    h.FileCount = count;
    h.FileIndex = index;
    h.FileSize = in.size;
    h.TotalSize = total;
    std::memcpy(h.FileName, in.name.data(), in.name.size());  // rest stays zero
    return h;
}

bool WriteHeader(ReplacingFileWriter* out, const EntryHeader& h, std::string* error) {
    uint8_t bytes[kEntryHeaderSize];
    EncodeEntryHeader(h, bytes);
    return out->Write(bytes, sizeof bytes, error);
}

bool CopyContent(const Input& in, ReplacingFileWriter* out, std::vector<uint8_t>* buffer,
                 ProgressCounter* counter, std::string* error) {
    InputFile file;
    if (!file.Open(in.path, error)) return false;
    uint64_t copied = 0;
    for (;;) {
        size_t got = 0;
        if (!file.ReadSome(buffer->data(), buffer->size(), &got, error)) return false;
        if (got == 0) break;
        copied += got;
        // The header already promised in.size bytes. Stop at once rather than read a
        // file that keeps growing to its end only to refuse it then.
        if (copied > in.size) break;
        if (!out->Write(buffer->data(), got, error)) return false;
        counter->Add(got);
    }
    if (copied != in.size) {
        *error = "input " + Quoted(in.path) + " changed size while it was being packed";
        return false;
    }
    return true;
}

// The launcher image, copied as it was checked: read from the same open file.
bool CopyLauncher(InputFile* launcher, ReplacingFileWriter* out, std::vector<uint8_t>* buffer,
                  std::string* error) {
    for (uint64_t copied = 0; copied < launcher->Size();) {
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>(buffer->size(), launcher->Size() - copied));
        if (!launcher->ReadAt(copied, buffer->data(), n, error)) return false;
        if (!out->Write(buffer->data(), n, error)) return false;
        copied += n;
    }
    return true;
}

bool WritePackage(InputFile* launcher, const std::vector<Input>& inputs,
                  ReplacingFileWriter* out, const CopyProgress& progress, std::string* error) {
    std::vector<uint8_t> buffer(kCopyChunk);
    if (!CopyLauncher(launcher, out, &buffer, error)) return false;
    const int32_t count = static_cast<int32_t>(inputs.size());
    uint64_t end = launcher->Size();
    uint64_t total = 0;
    uint64_t contentBytes = 0;
    for (const Input& in : inputs) contentBytes += in.size;
    ProgressCounter counter(progress, contentBytes);
    for (size_t i = 0; i < inputs.size(); ++i) {
        total += inputs[i].size;
        const uint32_t index = kFirstEntryIndex + static_cast<uint32_t>(i);
        if (!WriteHeader(out, MakeEntryHeader(inputs[i], count, index, total), error)) return false;
        if (!CopyContent(inputs[i], out, &buffer, &counter, error)) return false;
        end += kEntryHeaderSize + inputs[i].size;
    }
    const std::vector<uint8_t> filler(static_cast<size_t>(FillerLength(end)), kFillerByte);
    if (!out->Write(filler.data(), filler.size(), error)) return false;
    return WriteHeader(out, MakeTrailer(launcher->Size()), error);
}

}  // namespace

std::string EntryNameFromPath(const std::string& path) {
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool CheckLauncherImage(ByteSource* image, std::string* reason, PeArchitecture* architecture) {
    PeImageInfo pe;
    if (ReadPeImage(image, image->Size(), &pe, reason) != PeReadResult::kParsed) return false;
    if (architecture != nullptr) *architecture = pe.architecture;
    if (pe.securityDirSize != 0) {
        *reason = "it is already signed; pack first, then sign the package";
        return false;
    }
    if (pe.endOfSectionData != image->Size()) {
        *reason = "it has " + std::to_string(image->Size() - pe.endOfSectionData) +
                  " bytes behind its last section (debug symbols, an overlay or an earlier "
                  "package?)";
        return false;
    }
    return true;
}

bool ReadImageArchitecture(const std::string& path, PeArchitecture* architecture) {
    InputFile image;
    std::string reason;
    PeImageInfo pe;
    if (!image.Open(path, &reason) ||
        ReadPeImage(&image, image.Size(), &pe, &reason) != PeReadResult::kParsed) {
        return false;
    }
    *architecture = pe.architecture;
    return true;
}

namespace {

void Summarize(const InputFile& launcher, PeArchitecture architecture,
               const std::vector<Input>& inputs, CreatedPackage* made) {
    *made = CreatedPackage();
    made->packageOffset = launcher.Size();
    uint64_t at = launcher.Size();
    for (const Input& in : inputs) {
        made->entries.push_back({in.name, in.path, in.size, at});
        at += kEntryHeaderSize + in.size;
    }
    made->fileLength = at + FillerLength(at) + kEntryHeaderSize;
    made->architecture = architecture;
}

bool CreateUnguarded(const std::string& launcherPath, const std::vector<std::string>& inputPaths,
                     const std::string& outPath, std::string* error,
                     const CopyProgress& progress, CreatedPackage* made) {
    InputFile launcher;
    std::string reason;
    if (!launcher.Open(launcherPath, &reason)) {
        *error = "launcher " + reason;
        return false;
    }
    PeArchitecture architecture = PeArchitecture::kX86;
    if (!CheckLauncherImage(&launcher, &reason, &architecture)) {
        *error = "launcher " + Quoted(launcherPath) + " cannot take a package: " + reason;
        return false;
    }
    if (inputPaths.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        *error = "too many inputs";
        return false;
    }
    std::vector<Input> inputs;
    if (!CheckInputs(inputPaths, &inputs, error)) return false;

    ReplacingFileWriter out;
    if (!out.Open(outPath, error) || !WritePackage(&launcher, inputs, &out, progress, error) ||
        !out.Commit(error)) {
        return false;
    }
    if (made != nullptr) Summarize(launcher, architecture, inputs, made);
    return true;
}

}  // namespace

bool CreatePackage(const std::string& launcherPath, const std::vector<std::string>& inputPaths,
                   const std::string& outPath, std::string* error,
                   const CopyProgress& progress, CreatedPackage* made) {
    try {
        return CreateUnguarded(launcherPath, inputPaths, outPath, error, progress, made);
    } catch (const std::bad_alloc&) {
        // The writer's destructor has removed its temporary file: outPath is as it was.
        *error = "not enough memory to write " + Quoted(outPath);
        return false;
    }
}

}  // namespace sfx
