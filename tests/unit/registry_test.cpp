#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "registry/product_key.h"
#include "registry/registry.h"
#include "support/registry_fixture.h"

namespace {

const std::wstring kTestKey = std::wstring(kCompanyKey) + L"\\Accessor";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveCompanyKeys(); }
    void TearDown() override { RemoveCompanyKeys(); }
};

TEST_F(RegistryTest, OnlyThePredefinedRootsAreAccepted) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kTestKey));
    CRegistry registry;
    EXPECT_TRUE(registry.SetRootKey(HKEY_LOCAL_MACHINE));
    HKEY ordinary = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &ordinary), ERROR_SUCCESS);
    EXPECT_FALSE(registry.SetRootKey(HKEY_CURRENT_CONFIG));
    EXPECT_FALSE(registry.SetRootKey(ordinary));
    RegCloseKey(ordinary);
    EXPECT_TRUE(registry.SelectKey(kTestKey, FALSE)) << "the root stayed HKEY_LOCAL_MACHINE";
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_USERS}) EXPECT_TRUE(registry.SetRootKey(root));
}

TEST_F(RegistryTest, SelectingKeysKeepsThePathOnlyWhenTheOpenSucceeds) {
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kTestKey, L"Kept", 7));
    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(registry.SelectKey(kTestKey, FALSE));
    EXPECT_EQ(registry.CurrentKey(), kTestKey);

    EXPECT_FALSE(registry.SelectKey(kTestKey + L"\\Missing", FALSE));
    EXPECT_EQ(registry.LastOpenStatus(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.CurrentKey(), kTestKey);
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kTestKey + L"\\Missing"));

    EXPECT_TRUE(registry.SelectKey(kTestKey, TRUE)) << "an existing key is opened as if created";
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kTestKey, L"Kept").AsDword(), 7u);

    EXPECT_TRUE(registry.SelectKey(L"", FALSE));
    EXPECT_EQ(registry.CurrentKey(), L"");
}

TEST_F(RegistryTest, ValuesLandInThe32BitViewWithTheirTypes) {
    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.SelectKey(kTestKey, TRUE));
    EXPECT_TRUE(registry.WriteDword(L"Number", 0x01020304));
    EXPECT_TRUE(registry.WriteString(L"Text", L"abc", REG_SZ));
    EXPECT_TRUE(registry.WriteString(L"Empty", L"", REG_SZ));

    const StoredValue number = ReadValue(HKEY_LOCAL_MACHINE, kTestKey, L"Number");
    EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number.data, (std::vector<BYTE>{4, 3, 2, 1}));
    const StoredValue text = ReadValue(HKEY_LOCAL_MACHINE, kTestKey, L"Text");
    EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text.data.size(), 8u) << "the terminator is stored too";
    const StoredValue empty = ReadValue(HKEY_LOCAL_MACHINE, kTestKey, L"Empty");
    EXPECT_EQ(empty.data, (std::vector<BYTE>{0, 0}));
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY)) << "not in the 64-bit view";
}

TEST_F(RegistryTest, ReadDwordTakesWhatFitsIntoFourBytesWhateverTheType) {
    const uint64_t wide = 1;
    const wchar_t one[] = L"1";
    const wchar_t two[] = L"ab";
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kTestKey, L"Dword", 5));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kTestKey, L"Qword", REG_QWORD, &wide, 8));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kTestKey, L"OneChar", REG_SZ, one, sizeof(one)));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kTestKey, L"TwoChars", REG_SZ, two, sizeof(two)));
    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.SelectKey(kTestKey, FALSE));
    EXPECT_EQ(registry.ReadDword(L"Dword", 99), 5u);
    EXPECT_EQ(registry.ReadDword(L"Missing", 99), 99u);
    EXPECT_EQ(registry.ReadDword(L"Qword", 99), 99u);
    EXPECT_EQ(registry.ReadDword(L"OneChar", 99), 0x31u);
    EXPECT_EQ(registry.ReadDword(L"TwoChars", 99), 99u);
    EXPECT_TRUE(registry.ValueExists(L"Qword"));
    EXPECT_FALSE(registry.ValueExists(L"Missing"));
    registry.SelectKey(kTestKey + L"\\Nope", FALSE);
    EXPECT_EQ(registry.ReadDword(L"Dword", 99), 5u) << "a failed select keeps the key";
}

// Both existence tests ask for full access: a key the process may only read is "absent".
TEST_F(RegistryTest, ExistenceTestsNeedFullAccess) {
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kTestKey, L"Value", 1));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey.c_str(), 0, WRITE_DAC | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                     nullptr));
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    RegCloseKey(key);
    LocalFree(readOnly);

    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    const BOOL exists = registry.KeyExists(kTestKey);
    ASSERT_TRUE(registry.SelectKey(kTestKey, FALSE));
    const BOOL valueExists = registry.ValueExists(L"Value");
    const DWORD read = registry.ReadDword(L"Value", 0);
    if (exists) GTEST_SKIP() << "this Wine does not check access to registry keys";
    EXPECT_FALSE(valueExists);
    EXPECT_EQ(read, 1u) << "reading needs only read access";
}

// Every row of the edition decision, and the value-type cases that steer it.
TEST_F(RegistryTest, TheProductKeyTokenResolvesByTheEditionValues) {
    const std::wstring product = kProductKeyPath;
    const std::wstring business = kBusinessKeyPath;
    struct Row {
        const char* what;
        void (*arrange)();
        const wchar_t* expected;
    };
    static const wchar_t* P = kProductKeyPath;
    const Row rows[] = {
        {"no keys at all", [] {}, kProductKeyPath},
        {"1: machine-based, machine edition 1",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1); }, kBusinessKeyPath},
        {"1: based type missing counts as machine-based",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 1); SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1); },
         kBusinessKeyPath},
        {"2: machine-based, machine edition 0",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 0); SetDword(HKEY_CURRENT_USER, P, L"DERirazoZeva", 1); },
         kProductKeyPath},
        {"3: user-based, no user key, machine edition 1",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 0); SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1); },
         kBusinessKeyPath},
        {"5: user-based, user key without edition, machine edition 1",
         [] {
             SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 0);
             SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1);
             CreateKey(HKEY_CURRENT_USER, P);
         },
         kBusinessKeyPath},
        {"6: user-based, user edition 1",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 0); SetDword(HKEY_CURRENT_USER, P, L"DERirazoZeva", 1); },
         kBusinessKeyPath},
        {"7: user-based, user edition 0 wins over the machine's 1",
         [] {
             SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 0);
             SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1);
             SetDword(HKEY_CURRENT_USER, P, L"DERirazoZeva", 0);
         },
         kProductKeyPath},
        {"based type 2 behaves as 0",
         [] { SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 2); SetDword(HKEY_CURRENT_USER, P, L"DERirazoZeva", 1); },
         kBusinessKeyPath},
        {"7: a user edition of eight bytes exists but reads as 0; the machine is not asked",
         [] {
             const uint64_t v = 1;
             SetDword(HKEY_LOCAL_MACHINE, P, L"RUDUrevaDure", 0);
             SetDword(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", 1);
             SetValue(HKEY_CURRENT_USER, P, L"DERirazoZeva", REG_QWORD, &v, 8);
         },
         kProductKeyPath},
        {"an edition stored as the text \"1\" reads as 0x31, not 1",
         [] {
             const wchar_t text[] = L"1";
             SetValue(HKEY_LOCAL_MACHINE, P, L"DERirazoZeva", REG_SZ, text, sizeof(text));
         },
         kProductKeyPath},
    };
    for (const Row& row : rows) {
        RemoveCompanyKeys();
        row.arrange();
        EXPECT_EQ(ResolveProductKeyPath(kProductKeyToken), row.expected) << row.what;
        EXPECT_EQ(ResolveProductKeyPath(L"universal_Path_convert"), row.expected) << row.what;
    }
    EXPECT_EQ(ResolveProductKeyPath(L"UNIVERSAL_PATH_CONVERT2"), L"UNIVERSAL_PATH_CONVERT2");
    EXPECT_EQ(ResolveProductKeyPath(product), product);
    EXPECT_EQ(ResolveProductKeyPath(business), business);
}

TEST_F(RegistryTest, SelectProductKeyCreatesTheNamedKeyWhateverTheEdition) {
    SetDword(HKEY_CURRENT_USER, kProductKeyPath, L"DERirazoZeva", 1);
    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(registry.SelectProductKey(kProductKeyPath, TRUE));
    EXPECT_EQ(registry.CurrentKey(), kProductKeyPath);
    EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, kProductKeyPath));
    // Now the user's hive decides: the business edition, whose key is not there.
    SetDword(HKEY_LOCAL_MACHINE, kProductKeyPath, L"RUDUrevaDure", 0);
    EXPECT_FALSE(registry.SelectProductKey(kProductKeyToken, FALSE)) << "no business key to open";
    EXPECT_EQ(registry.LastOpenStatus(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
