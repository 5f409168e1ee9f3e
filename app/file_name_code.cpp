#include "app/file_name_code.h"

#include <windows.h>

#include <cwctype>

#include "registry/product_key.h"
#include "registry/registry.h"

namespace {

constexpr size_t kCodeLength = 12;
constexpr size_t kRegionLength = 2;

bool AllLettersOrDigits(const std::wstring& text) {
    for (wchar_t c : text) {
        if (!iswalnum(c)) return false;
    }
    return true;
}

}  // namespace

bool ParseFileNameCode(const std::wstring& path, FileNameCode* result) {
    const size_t dash = path.rfind(L'-');
    if (dash == std::wstring::npos) return false;
    const std::wstring code = path.substr(dash + 1, kCodeLength);
    if (code.size() < kCodeLength) return false;
    if (path.find(L'\\', dash + 1) != std::wstring::npos) return false;
    if (!AllLettersOrDigits(code)) return false;

    result->code = code;
    result->region.clear();
    std::wstring region = path.substr(dash + 1 + kCodeLength, kRegionLength);
    if (region.size() == kRegionLength) {
        for (wchar_t& c : region) {
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        }
        if (AllLettersOrDigits(region)) result->region = region;
    }
    return true;
}

void StoreFileNameCode(const std::wstring& path) {
    FileNameCode parsed;
    if (!ParseFileNameCode(path, &parsed)) return;

    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    // Without the product key the accessor would address the root key itself.
    if (!registry.SelectProductKey(kProductKeyPath, TRUE)) return;
    if (!parsed.region.empty()) registry.WriteString(L"CloudRegion", parsed.region, REG_SZ);
    registry.WriteDword(L"Confirm_d", 1);
    registry.WriteDword(L"ZOZORoza", 1);
    registry.WriteString(L"DCode", parsed.code + parsed.region, REG_SZ);
    registry.WriteDword(L"VIDUDedar", 0);
}
