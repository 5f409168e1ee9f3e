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
    bool ok = Write(dir + "/far-lfanew", farLfanew) && Write(dir + "/far-headers", farHeaders) &&
              Write(dir + "/aliases", aliases) && Write(dir + "/image", image) && Write(dir + "/two-entries", two) && Write(dir + "/cut", cut) &&
              Write(dir + "/names", names) &&
              Write(dir + "/empty-package", sfxtest::BuildRawPackage(image, {}));
    return ok ? 0 : 1;
}
