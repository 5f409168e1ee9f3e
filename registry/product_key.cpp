#include "registry/product_key.h"

#include <cwchar>

#include "registry/registry.h"

namespace {

const wchar_t kBasedTypeValue[] = L"RUDUrevaDure";
const wchar_t kEditionValue[] = L"DERirazoZeva";

std::wstring PathForEdition(DWORD edition) { return edition == 1 ? kBusinessKeyPath : kProductKeyPath; }

// The edition as the machine's product key says it.
std::wstring MachineDecision() {
    CRegistry machine;
    machine.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!machine.SelectKey(kProductKeyPath, FALSE)) return kProductKeyPath;
    return PathForEdition(machine.ReadDword(kEditionValue, 0));
}

}  // namespace

std::wstring ResolveProductKeyPath(const std::wstring& path) {
    if (_wcsicmp(path.c_str(), kProductKeyToken) != 0) return path;

    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.SelectKey(kProductKeyPath, FALSE);
    if (registry.ReadDword(kBasedTypeValue, 1) == 1) return MachineDecision();

    // The logged-on user decides, where the user's hive has a say.
    registry.Reset();
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.KeyExists(kProductKeyPath)) return MachineDecision();
    if (!registry.SelectKey(kProductKeyPath, FALSE)) return kProductKeyPath;
    if (!registry.ValueExists(kEditionValue)) return MachineDecision();
    return PathForEdition(registry.ReadDword(kEditionValue, 0));
}

BOOL CRegistry::SelectProductKey(const std::wstring& path, BOOL create) {
    const RootKey root(GetRootHandle());
    if (path.empty()) {
        m_strSubKey.clear();
        return TRUE;
    }
    return SelectResolvedKey(root.Get(), ResolveProductKeyPath(path), create);
}
