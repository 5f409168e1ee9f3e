#include "tools/sfxpack/package/certificate_table.h"

#include "format/little_endian.h"
#include "format/package_format.h"
#include "tools/sfxpack/base/text.h"

namespace sfx {

bool CheckCertificateTable(ByteSource* file, const PackageReport& report,
                           CertificateTableInfo* info, std::string* reason) {
    const uint64_t offset = report.certificateOffset;
    const uint64_t size = report.certificateSize;
    if (static_cast<int32_t>(size) <= 0) {
        *reason = "security directory size " + Num(size) + " names no table";
        return false;
    }
    if (offset > file->Size() || size != file->Size() - offset) {
        *reason = "table (" + Num(size) + " bytes at " + Num(offset) +
                  ") does not end at the end of the file (" + Num(file->Size()) + " bytes)";
        return false;
    }
    const uint64_t trailerEnd = report.trailerOffset + kEntryHeaderSize;
    if (report.trailerOffset == 0 || offset != trailerEnd) {
        *reason = "table at " + Num(offset) + " does not start where the trailer ends (" +
                  (report.trailerOffset == 0 ? std::string("no trailer found") : Num(trailerEnd)) +
                  ")";
        return false;
    }
    uint8_t header[kWinCertificateHeaderSize];
    if (size < sizeof header) {
        *reason = "table of " + Num(size) + " bytes has no room for a WIN_CERTIFICATE header";
        return false;
    }
    if (!file->ReadAt(offset, header, sizeof header, reason)) return false;
    info->length = LoadLe32(header);
    info->revision = LoadLe16(header + 4);
    info->type = LoadLe16(header + 6);
    // One entry, padded to 8: a second one behind it would be a signature nobody checks.
    const uint64_t padded = (static_cast<uint64_t>(info->length) + 7) / 8 * 8;
    if (info->length <= sizeof header || info->length > size || padded != size) {
        *reason = "WIN_CERTIFICATE dwLength " + Num(info->length) +
                  " does not cover the table of " + Num(size) + " bytes";
        return false;
    }
    if (info->revision != kWinCertRevision2) {
        *reason = "WIN_CERTIFICATE revision " + Hex(info->revision, 4) + " is not 0x0200";
        return false;
    }
    if (info->type != kWinCertTypePkcsSignedData) {
        *reason = "WIN_CERTIFICATE type " + Hex(info->type, 4) +
                  " is not 0x0002 (PKCS#7 signed data)";
        return false;
    }
    return true;
}

}  // namespace sfx
