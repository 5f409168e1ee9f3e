// Writes the fuzzer's seed corpus: small well-formed packages and a few damaged ones.
#include <cstdio>
#include <string>
#include <vector>

#include "../sfxpack/mirrored_source.h"
#include "../sfxpack/synthetic_pe.h"
#include "common/raw_package.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<uint8_t> image = sfxtest::BuildPe32Image();
    const std::vector<uint8_t> two = sfxtest::BuildRawPackage(image, {{"run.bat", "@echo off\r\n"}, {"a.bin", "abc"}});
    std::vector<uint8_t> cut(two.begin(), two.begin() + static_cast<long>(image.size() + 100));
    std::vector<uint8_t> names = sfxtest::BuildRawPackage(image, {{"..\\x", "1"}, {"CON", "2"}, {"", "3"}});
    // A DOS header pointing just below 2 GiB: a reader that loads everything up to
    // e_lfanew reads that much. And a package whose PE headers lie in the far copy.
    std::vector<uint8_t> farLfanew(4096, 0);
    farLfanew[0] = 'M';
    farLfanew[1] = 'Z';
    sfxtest::PutLe(farLfanew, 60, 0x7FFFFF00, 4);
    std::vector<uint8_t> farHeaders = two;
    sfxtest::PutLe(farHeaders, 60, sfxtest::kFarOffset + sfxtest::kLfanew, 4);
    std::vector<uint8_t> aliases = sfxtest::BuildRawPackage(
        image, {{"installer-database.msi", "1"}, {"INSTAL~1.MSI", "2"}, {"run.bat.", "3"}, {"COM\xB9", "4"}});
    // The x64 launcher's PE32+ image: bare, packed, with a stand-in certificate table where
    // its security directory says, and with its machine turned to x86.
    const sfxtest::ImageKind& plus = sfxtest::kPe32Plus;
    const std::vector<uint8_t> image64 = sfxtest::BuildPeImage(plus);
    const std::vector<uint8_t> two64 = sfxtest::BuildRawPackage(image64, {{"run.bat", "@echo off\r\n"}, {"a.bin", "abc"}});
    std::vector<uint8_t> signed64 = two64;
    const size_t table = signed64.size();
    sfxtest::PutLe(signed64, plus.SecurityDirAddress(), table, 4);
    sfxtest::PutLe(signed64, plus.SecurityDirSize(), 64, 4);
    signed64.resize(table + 64, 0x30);
    sfxtest::PutLe(signed64, table, 64, 4);           // WIN_CERTIFICATE dwLength
    sfxtest::PutLe(signed64, table + 4, 0x0200, 2);   // revision 2.0
    sfxtest::PutLe(signed64, table + 6, 0x0002, 2);   // PKCS#7 signed data
    std::vector<uint8_t> mismatched = two64;
    sfxtest::PutLe(mismatched, sfxtest::kLfanew + 4, sfxtest::kPe32.machine, 2);
    bool ok = Write(dir + "/far-lfanew", farLfanew) && Write(dir + "/far-headers", farHeaders) &&
              Write(dir + "/aliases", aliases) && Write(dir + "/image", image) && Write(dir + "/two-entries", two) && Write(dir + "/cut", cut) &&
              Write(dir + "/names", names) &&
              Write(dir + "/empty-package", sfxtest::BuildRawPackage(image, {})) &&
              Write(dir + "/image64", image64) && Write(dir + "/two-entries64", two64) &&
              Write(dir + "/signed64", signed64) && Write(dir + "/machine-mismatch", mismatched);
    return ok ? 0 : 1;
}
