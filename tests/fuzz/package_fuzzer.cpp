// Fuzz target over the package tool's PE header parser (PE32 and PE32+) and package
// inspection, and the entry-name and trailer rules it shares with the launcher. Each input
// is read as a small file, and again as a sparse one of almost 2 GiB holding the input at
// its start and at its end, so that e_lfanew, the trailer and the entries can point far
// into it: what is read must stay bounded by the headers, not by the offsets.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../sfxpack/mirrored_source.h"
#include "format/package_format.h"
#include "tools/sfxpack/package/certificate_table.h"
#include "tools/sfxpack/package/package_reader.h"
#include "tools/sfxpack/package/pe_image.h"
#include "tools/sfxpack/package/short_alias_index.h"

namespace {

// Every entry reported must lie inside the file, whatever the bytes claim.
void CheckEntriesInside(const sfx::PackageReport& report, uint64_t size) {
    for (const sfx::PackageEntryInfo& entry : report.entries) {
        if (entry.contentOffset > size || entry.size > size - entry.contentOffset) {
            if (report.intact) std::abort();
        }
    }
}

void InspectFar(const uint8_t* data, size_t size) {
    sfxtest::MirroredSource far(data, size);
    sfx::PackageReport report;
    std::string error;
    if (sfx::InspectPackageSource(&far, "far", &report, &error)) {
        CheckEntriesInside(report, far.Size());
        sfx::CertificateTableInfo info;
        std::string reason;
        sfx::CheckCertificateTable(&far, report, &info, &reason);
    }
    // The headers (the longer, PE32+, span; the section table at most 65535 x 40 bytes),
    // the trailer, and one header per entry, of which each copy of the input holds at most
    // size / 284.
    const uint64_t bound =
        64 + sfx::kPe32PlusHeadersReadSize + 65535 * 40 + 4 * uint64_t(size) + 4 * 284;
    if (far.bytesRead > bound || far.largestRead > 65535 * 40) std::abort();
}

void CheckNames(const uint8_t* data, size_t size) {
    const size_t nameLength = std::min<size_t>(size, sfx::kFileNameField);
    const char* name = reinterpret_cast<const char*>(data);
    // Whatever the rule of every sfxpack verb passes, the launcher's own check passes too.
    if (sfx::JudgeEntryName(name, nameLength) == sfx::EntryNameFault::kNone &&
        !sfx::IsSafeEntryName(name, nameLength)) {
        std::abort();
    }
    // The first half as an alias of the second, and the index agreeing with the rule.
    const size_t half = nameLength / 2;
    const std::string alias(name, half), longName(name + half, nameLength - half);
    const bool shape = sfx::HasShortAliasShapeOf(alias.data(), alias.size(), longName.data(),
                                                 longName.size());
    sfx::ShortAliasIndex index;
    index.Add(longName, 0);
    size_t position = 0;
    std::string found;
    const bool indexed = index.FindAliased(alias, &position, &found);
    std::string a = alias, l = longName;
    for (char& c : a) c = sfx::AsciiUpper(c);
    for (char& c : l) c = sfx::AsciiUpper(c);
    if (a != l && indexed != shape) std::abort();
}

}  // namespace

// An accepted image is x86 with a PE32 header or x64 with a PE32+ one, and its security
// directory lies within the span the launcher of that word size reads.
void CheckImage(const uint8_t* data, size_t size) {
    sfx::PeImageInfo info;
    std::string reason;
    if (!sfx::ParsePeImage(data, size, size, &info, &reason)) return;
    const bool x64 = info.machine == sfx::kMachineX64;
    if (!x64 && info.machine != sfx::kMachineX86) std::abort();
    if ((info.architecture == sfx::PeArchitecture::kX64) != x64) std::abort();
    if ((info.optionalHeader == sfx::OptionalHeaderKind::kPe32Plus) != x64) std::abort();
    const uint64_t span = x64 ? sfx::kPe32PlusHeadersReadSize : sfx::kPeHeadersReadSize;
    if (uint64_t(info.securityDirEntryOffset) + 8 > uint64_t(info.peHeaderOffset) + span) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckImage(data, size);

    sfx::PackageReport report;
    std::string error;
    if (sfx::InspectPackageData(data, size, &report, &error)) CheckEntriesInside(report, size);
    InspectFar(data, size);
    CheckNames(data, size);

    if (size >= 4) {
        uint32_t securitySize = 0;
        memcpy(&securitySize, data, 4);
        const uint64_t distance = sfx::TrailerDistanceFromEnd(securitySize);
        if (distance < sfx::kEntryHeaderSize) std::abort();
    }
    return 0;
}
