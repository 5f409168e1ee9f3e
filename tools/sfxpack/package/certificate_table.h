// The certificate table a code signer appends behind a package: WIN_CERTIFICATE entries
// (dwLength, wRevision, wCertificateType, then the certificate), each padded to 8 bytes.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sfxpack/base/byte_source.h"
#include "tools/sfxpack/package/package_reader.h"

namespace sfx {

constexpr uint32_t kWinCertificateHeaderSize = 8;
constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;

struct CertificateTableInfo {
    uint32_t length = 0;  // dwLength
    uint16_t revision = 0;
    uint16_t type = 0;
};

// Checks the table that report's security directory names, in the file it was made from:
// it ends the file, starts right where the trailer ends, and is one PKCS#7 signed-data
// WIN_CERTIFICATE whose dwLength, padded to 8, is the table's size. The signature inside
// is not checked here. On failure *reason says what is wrong.
bool CheckCertificateTable(ByteSource* file, const PackageReport& report,
                           CertificateTableInfo* info, std::string* reason);

}  // namespace sfx
