// What a run leaves in the registry: the start time and outcome in the product key, and the
// code carried in the launcher's own file name.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "registry/product_key.h"
#include "support/launcher_fixture.h"
#include "support/registry_fixture.h"

namespace {

class RegistryRecordsTest : public LauncherFixture {
protected:
    void SetUp() override {
        LauncherFixture::SetUp();
        RemoveCompanyKeys();
        Pack({{L"run.bat", "@echo off\r\nexit /b 3\r\n"}});
    }
    void TearDown() override { RemoveCompanyKeys(); }

    // Gives a key the access list in SDDL (its owner may always change it).
    static void SetKeyAccess(const wchar_t* path, const wchar_t* sddl) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
        RegCloseKey(key);
    }

    static StoredValue Product(const wchar_t* name) { return ReadValue(HKEY_LOCAL_MACHINE, kProductKeyPath, name); }

    // Runs a copy of the package under another file name.
    RunResult RunAs(const std::wstring& fileName) {
        const std::wstring copy = root / fileName;
        EXPECT_TRUE(CopyFileW(package.c_str(), copy.c_str(), FALSE));
        return RunLauncher(copy, temp);
    }
};

TEST_F(RegistryRecordsTest, ARunRecordsItsUtcStartAndStatusZero) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
    SYSTEMTIME before;
    GetSystemTime(&before);
    // Eight hours east of Greenwich: the text must still be UTC.
    const RunResult run = Run(L"", {{L"TZ", L"CST-8"}});
    ASSERT_TRUE(run.finished);
    SYSTEMTIME after;
    GetSystemTime(&after);

    const StoredValue start = Product(L"CloudAutoUpdateTimeStart");
    ASSERT_TRUE(start.present);
    EXPECT_EQ(start.type, static_cast<DWORD>(REG_SZ));
    const std::wstring text = start.AsString();
    ASSERT_EQ(text.size(), 19u) << Narrow(text);
    SYSTEMTIME stamp = {};
    ASSERT_EQ(swscanf(text.c_str(), L"%hu-%hu-%hu %hu:%hu:%hu", &stamp.wYear, &stamp.wMonth, &stamp.wDay, &stamp.wHour,
                      &stamp.wMinute, &stamp.wSecond),
              6);
    FILETIME a, b, s;
    SystemTimeToFileTime(&before, &a);
    SystemTimeToFileTime(&after, &b);
    SystemTimeToFileTime(&stamp, &s);
    auto seconds = [](const FILETIME& f) { return ((static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000000; };
    EXPECT_GE(seconds(s), seconds(a) - 2) << Narrow(text);
    EXPECT_LE(seconds(s), seconds(b) + 2) << Narrow(text);
    // The log's stamps are local time: they show that the run did see the eastern zone.
    const std::wstring firstLine = SplitLines(ReadUtf16(temp + L"unpack.log")).at(0);
    const int logHour = std::stoi(firstLine.substr(firstLine.find(L']') + 12, 2));
    EXPECT_EQ(logHour, (stamp.wHour + 8) % 24) << Narrow(firstLine);

    const StoredValue status = Product(L"CloudAutoUpdateStatus");
    ASSERT_TRUE(status.present);
    EXPECT_EQ(status.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(status.AsDword(), 0u) << "the batch file's own exit code 3 only goes to the log";
    EXPECT_TRUE(Logged(L"[CUnPackFileApp::InitInstance] execute done code:3"));
}

TEST_F(RegistryRecordsTest, AFailedLaunchRecords999) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
    ASSERT_TRUE(Run(L"C:\\no\\such\\setup.exe /q").finished);
    EXPECT_EQ(Product(L"CloudAutoUpdateStatus").AsDword(), 999u);
    EXPECT_TRUE(Product(L"CloudAutoUpdateTimeStart").present);
}

TEST_F(RegistryRecordsTest, TheRecordsGoToTheBusinessKeyWhenTheEditionSaysSo) {
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kProductKeyPath, L"DERirazoZeva", 1));
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kBusinessKeyPath));
    ASSERT_TRUE(Run().finished);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kBusinessKeyPath, L"CloudAutoUpdateStatus").AsDword(), 0u);
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kBusinessKeyPath, L"CloudAutoUpdateTimeStart").present);
    EXPECT_FALSE(Product(L"CloudAutoUpdateStatus").present);
}

TEST_F(RegistryRecordsTest, WithoutAProductKeyNothingIsWrittenOrCreated) {
    ASSERT_TRUE(Run().finished);
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kCompanyKey));
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, L"", L"CloudAutoUpdateStatus").present);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, L"Software", L"CloudAutoUpdateStatus").present);
}

// A product key that cannot be opened for writing gets no settings, and neither does the
// root key that an accessor without a key would address.
TEST_F(RegistryRecordsTest, TheFileNameCodeIsNotStoredWithoutAProductKey) {
    const wchar_t* const settings[] = {L"DCode", L"CloudRegion", L"Confirm_d", L"ZOZORoza", L"VIDUDedar"};
    HKEY machine = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &machine), ERROR_SUCCESS);
    for (const wchar_t* name : settings) RegDeleteValueW(machine, name);  // what a faulty run left
    RegCloseKey(machine);
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
    SetKeyAccess(kProductKeyPath, L"D:P(A;;KR;;;WD)");
    ASSERT_TRUE(RunAs(L"setup-ABC123DEF456us.exe").finished);
    const bool written = Product(L"DCode").present;
    SetKeyAccess(kProductKeyPath, L"D:P(A;;KA;;;WD)");
    if (written) GTEST_SKIP() << "this Wine does not check access to registry keys";
    for (const wchar_t* name : settings) {
        EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, L"", name).present) << Narrow(name);
    }
}

// The launcher copied under names of each shape, run for real.
TEST_F(RegistryRecordsTest, TheFileNameCodeIsStoredByTheShapeOfTheName) {
    const struct {
        const wchar_t* name;
        const wchar_t* dcode;   // null: nothing is written at all
        const wchar_t* region;  // null: no CloudRegion
    } cases[] = {
        {L"setup-AbC123dEf456us.exe", L"AbC123dEf456US", L"US"},
        {L"setup-ABC123DEF456.exe", L"ABC123DEF456", nullptr},
        {L"setup-ABC123DEF456 (1).exe", L"ABC123DEF456", nullptr},
        {L"setup-ABC123DEF456e.exe", L"ABC123DEF456", nullptr},
        {L"setup-ABC123DEF45.exe", nullptr, nullptr},
        {L"setup.exe", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        RemoveCompanyKeys();
        ASSERT_TRUE(RunAs(c.name).finished) << Narrow(c.name);
        if (c.dcode == nullptr) {
            EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kCompanyKey)) << Narrow(c.name);
            continue;
        }
        EXPECT_EQ(Product(L"DCode").AsString(), c.dcode) << Narrow(c.name);
        EXPECT_EQ(Product(L"DCode").type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(Product(L"Confirm_d").AsDword(), 1u);
        EXPECT_EQ(Product(L"ZOZORoza").AsDword(), 1u);
        EXPECT_EQ(Product(L"VIDUDedar").type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(Product(L"VIDUDedar").AsDword(), 0u);
        EXPECT_EQ(Product(L"CloudRegion").present, c.region != nullptr) << Narrow(c.name);
        if (c.region != nullptr) {
            EXPECT_EQ(Product(L"CloudRegion").AsString(), c.region);
        }
        // The key was made by the code, so the run's records found it too.
        EXPECT_EQ(Product(L"CloudAutoUpdateStatus").AsDword(), 0u) << Narrow(c.name);
    }
}

TEST_F(RegistryRecordsTest, ADashOnlyInAFolderNameCarriesNoCode) {
    const std::wstring folder = root / L"my-downloads123456";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"\\setup.exe";
    ASSERT_TRUE(CopyFileW(package.c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(RunLauncher(copy, temp).finished);
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kCompanyKey));
}

TEST_F(RegistryRecordsTest, TheCodeGoesToTheStandardKeyEvenForTheBusinessEdition) {
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kProductKeyPath, L"DERirazoZeva", 1));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kProductKeyPath, L"CloudRegion", REG_SZ, L"JP", 6));
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kBusinessKeyPath));
    ASSERT_TRUE(RunAs(L"setup-ABC123DEF456.exe").finished);
    EXPECT_EQ(Product(L"DCode").AsString(), L"ABC123DEF456");
    EXPECT_EQ(Product(L"CloudRegion").AsString(), L"JP") << "an earlier region stays";
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kBusinessKeyPath, L"DCode").present);
}

// Both launchers keep the product's values in the machine's 32-bit view: on a 64-bit
// system that is Software\Wow6432Node as the 64-bit view sees it, whichever launcher wrote.
TEST_F(RegistryRecordsTest, TheRecordsLandInThe32BitViewWhateverTheLauncherWordSize) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProductKeyPath));
    ASSERT_TRUE(Run().finished);
    const std::wstring redirected = std::wstring(L"Software\\Wow6432Node") + (kProductKeyPath + 8);  // past "Software"
    const StoredValue status = ReadValue(HKEY_LOCAL_MACHINE, redirected, L"CloudAutoUpdateStatus", KEY_WOW64_64KEY);
    ASSERT_TRUE(status.present) << "not in the 32-bit view";
    EXPECT_EQ(status.AsDword(), 0u);
    EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, kProductKeyPath, KEY_WOW64_64KEY)) << "written to the 64-bit view";
}

}  // namespace
