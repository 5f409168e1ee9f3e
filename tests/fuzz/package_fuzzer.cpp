// Fuzz target over the format code that the launcher and the package tool share: the PE
// header parser, the package inspection, the entry-name rule and the trailer rule.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/package_format.h"
#include "format/package_reader.h"
#include "format/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sfx::PeImageInfo info;
    std::string reason;
    sfx::ParsePeImage(data, size, size, &info, &reason);

    sfx::PackageReport report;
    std::string error;
    if (sfx::InspectPackageData(data, size, &report, &error)) {
        // Whatever the bytes claim, every entry reported must lie inside the file.
        for (const sfx::PackageEntryInfo& entry : report.entries) {
            if (entry.contentOffset > size || entry.size > size - entry.contentOffset) {
                if (report.intact) std::abort();
            }
        }
    }

    const size_t nameLength = std::min<size_t>(size, sfx::kFileNameField);
    sfx::IsSafeEntryName(reinterpret_cast<const char*>(data), nameLength);

    if (size >= 4) {
        uint32_t securitySize = 0;
        memcpy(&securitySize, data, 4);
        const uint64_t distance = sfx::TrailerDistanceFromEnd(securitySize);
        if (distance < sfx::kEntryHeaderSize) std::abort();
    }
    return 0;
}
