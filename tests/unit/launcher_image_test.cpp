// What the built launcher carries: its resources and the shape of its PE image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "res/resource.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"

namespace {

template <class T>
T At(const std::vector<uint8_t>& bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// The launcher of this build's word size: PE32 for x86, PE32+ for x64.
constexpr bool kPe32Plus = sizeof(void*) == 8;
constexpr uint16_t kMachine = kPe32Plus ? 0x8664 : 0x014C;
constexpr uint16_t kOptionalMagic = kPe32Plus ? 0x020B : 0x010B;
constexpr uint32_t kDataDirectories = kPe32Plus ? 112 : 96;  // within the optional header

struct Section {
    uint32_t virtualAddress, virtualSize, rawPointer, rawSize;
};

class LauncherImageTest : public ::testing::Test {
protected:
    std::vector<uint8_t> file = ReadBytes(LauncherPath());
    uint32_t pe = 0;
    uint32_t optional = 0;
    std::vector<Section> sections;

    void SetUp() override {
        ASSERT_GT(file.size(), 1024u);
        ASSERT_EQ(file[0], 'M');
        ASSERT_EQ(file[1], 'Z');
        pe = At<uint32_t>(file, 60);
        ASSERT_EQ(At<uint32_t>(file, pe), 0x00004550u);  // "PE\0\0"
        optional = pe + 24;
        const uint16_t count = At<uint16_t>(file, pe + 6);
        const uint32_t table = optional + At<uint16_t>(file, pe + 20);
        for (uint16_t i = 0; i < count; ++i) {
            const uint32_t s = table + i * 40u;
            sections.push_back({At<uint32_t>(file, s + 12), At<uint32_t>(file, s + 8),
                                At<uint32_t>(file, s + 20), At<uint32_t>(file, s + 16)});
        }
    }

    size_t RvaToOffset(uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize)) {
                return rva - s.virtualAddress + s.rawPointer;
            }
        }
        return 0;
    }

    // Names of the functions imported by name, from every library.
    std::vector<std::string> ImportedFunctions() const {
        std::vector<std::string> names;
        const uint32_t importRva = At<uint32_t>(file, optional + kDataDirectories + 1 * 8);
        for (size_t descriptor = RvaToOffset(importRva); descriptor != 0 && At<uint32_t>(file, descriptor + 12) != 0;
             descriptor += 20) {
            size_t thunk = RvaToOffset(At<uint32_t>(file, descriptor));
            const size_t width = kPe32Plus ? 8 : 4;
            for (; thunk != 0; thunk += width) {
                const uint64_t entry = kPe32Plus ? At<uint64_t>(file, thunk) : At<uint32_t>(file, thunk);
                if (entry == 0) break;
                if (entry >> (width * 8 - 1)) continue;  // by ordinal
                const size_t byName = RvaToOffset(static_cast<uint32_t>(entry));
                if (byName != 0) names.emplace_back(reinterpret_cast<const char*>(file.data() + byName + 2));
            }
        }
        return names;
    }

    std::vector<std::string> ImportedLibraries() const {
        std::vector<std::string> names;
        const uint32_t importRva = At<uint32_t>(file, optional + kDataDirectories + 1 * 8);
        size_t descriptor = RvaToOffset(importRva);
        for (; descriptor != 0 && At<uint32_t>(file, descriptor + 12) != 0; descriptor += 20) {
            const size_t name = RvaToOffset(At<uint32_t>(file, descriptor + 12));
            std::string text(reinterpret_cast<const char*>(file.data() + name));
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            names.push_back(text);
        }
        return names;
    }
};

TEST_F(LauncherImageTest, IsAStrippedGuiImageOfItsWordSizeThatEndsAtItsLastSection) {
    EXPECT_EQ(At<uint16_t>(file, pe + 4), kMachine);
    EXPECT_EQ(At<uint16_t>(file, optional), kOptionalMagic);
    EXPECT_EQ(At<uint16_t>(file, optional + 68), 2);    // IMAGE_SUBSYSTEM_WINDOWS_GUI
    EXPECT_EQ(At<uint32_t>(file, pe + 12), 0u);         // no COFF symbol table
    EXPECT_EQ(At<uint32_t>(file, optional + kDataDirectories + 4 * 8 + 4), 0u);  // not signed
    uint32_t end = 0;
    for (const Section& s : sections) end = std::max(end, s.rawPointer + s.rawSize);
    EXPECT_EQ(file.size(), end) << "data after the last section would be taken for the package";
    EXPECT_EQ(file.size() % 512, 0u);
}

// Every library of the import table is loaded before any code of ours runs, with the
// program's folder (Downloads, say) searched first for all but the KnownDLLs; a function
// forwarded to a library outside them (RtlGenRandom to cryptbase.dll) would be as well.
TEST_F(LauncherImageTest, ImportsOnlyFromKnownDllsAndNothingForwardedOutOfThem) {
    const std::vector<std::string> known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
                                            "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "shell32.dll",
                                            "shlwapi.dll",  "user32.dll",   "rpcrt4.dll",   "ws2_32.dll"};
    const std::vector<std::string> imports = ImportedLibraries();
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        EXPECT_NE(std::find(known.begin(), known.end(), name), known.end()) << name << " is no KnownDLL";
    }
    const std::vector<std::string> functions = ImportedFunctions();
    ASSERT_GT(functions.size(), 20u) << "the import table was not read";
    for (const char* forwarded : {"SystemFunction036", "SystemFunction040", "SystemFunction041"}) {
        EXPECT_EQ(std::find(functions.begin(), functions.end(), forwarded), functions.end()) << forwarded;
    }
}

TEST_F(LauncherImageTest, NeedsNoMingwLibrariesBesideIt) {
    const std::vector<std::string> imports = ImportedLibraries();
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        EXPECT_EQ(name.find("libstdc++"), std::string::npos) << name;
        EXPECT_EQ(name.find("libgcc"), std::string::npos) << name;
        EXPECT_EQ(name.find("libwinpthread"), std::string::npos) << name;
    }
}

bool Contains(const std::vector<uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// Built without exceptions on a runtime of its own, the image carries none of the library's
// exception support: the link took in no personality routine, no unwinder, no thread
// library for it, and the image holds neither the default terminate handler's texts, nor
// the exception classes' type names, nor the demangler's.
TEST_F(LauncherImageTest, CarriesNoExceptionSupportAndStaysWithin160KiB) {
    EXPECT_LE(file.size(), 160u * 1024);
    for (const char* text : {"terminate called", "St9exception", "St9bad_alloc", "(anonymous namespace)"}) {
        EXPECT_FALSE(Contains(file, text)) << text;
    }

    const std::wstring mapPath = BinaryFolder() + L"VADuVavuVazo.map";
    const std::vector<uint8_t> map = ReadBytes(mapPath);
    ASSERT_TRUE(Contains(map, "(wstring-inst.o)")) << "not the link map of this launcher: " << Narrow(mapPath);
    for (const char* member : {"(eh_personality.o)", "(eh_throw.o)", "(eh_terminate.o)", "(vterminate.o)",
                               "(cp-demangle.o)", "(unwind-dw2.o)", "(unwind-dw2-fde.o)", "(unwind-seh.o)",
                               "(libwinpthread"}) {
        EXPECT_FALSE(Contains(map, member)) << member;
    }
}

// A failed allocation or a broken length check ends a program on this runtime at once,
// with abort's code, instead of going on.
TEST(LeanRuntimeTest, AFailedAllocationEndsTheProcessOnTheSpot) {
    TestFolder folder;
    const std::wstring mark = folder / L"went-on.bin";
    auto run = [&](const std::wstring& what) {
        DeleteFileW(mark.c_str());
        return RunProcess(Quote(BinaryFolder() + L"lean_runtime_probe.exe") + L" " + what + L" " + Quote(mark), {});
    };

    const RunResult small = run(L"16");
    ASSERT_TRUE(small.finished);
    EXPECT_EQ(small.exitCode, 0u);
    EXPECT_TRUE(FileExists(mark)) << "the probe does not write its mark";

    // More than the address space can give: 2 GB in a 32-bit process, 2^62 bytes in a 64-bit one.
    const wchar_t* tooMuch = sizeof(void*) == 8 ? L"4611686018427387904" : L"2000000000";
    for (const wchar_t* what : {tooMuch, L"too-long"}) {
        const RunResult failed = run(what);
        ASSERT_TRUE(failed.finished) << Narrow(what);
        EXPECT_EQ(failed.exitCode, 3u) << Narrow(what);
        EXPECT_FALSE(FileExists(mark)) << Narrow(what) << ": went on after the failure";
    }
}

class LauncherResourcesTest : public ::testing::Test {
protected:
    HMODULE module = LoadLibraryExW(LauncherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    void TearDown() override {
        if (module != nullptr) FreeLibrary(module);
    }
    std::wstring String(UINT id) const {
        wchar_t text[512] = {};
        LoadStringW(module, id, text, 512);
        return text;
    }
};

TEST_F(LauncherResourcesTest, StringTableHoldsTheMessagesInUsEnglish) {
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(String(IDS_ANOTHER_INSTANCE),
              L"Another installation is in progress. You must complete that installation before starting this one.");
    EXPECT_EQ(String(IDS_CAPTION), L"Zoveriva Zudozuva");
    EXPECT_EQ(String(IDS_NO_DISK_SPACE), L"There is not enough disk space to install .");
    EXPECT_EQ(String(IDS_UPGRADE_WINDOWS),
              L"To install Zoveriva Zudozuva, please upgrade your system to Windows 7 or a newer version.");
    // Strings 128 to 143 share one block of the table.
    EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(IDS_CAPTION / 16 + 1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              nullptr);
}

TEST_F(LauncherResourcesTest, ManifestAsksForAdministratorAndNamesEverySupportedSystem) {
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(data, SizeofResource(module, found));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    // The system refuses to start an image whose manifest names another architecture.
    EXPECT_NE(manifest.find(kPe32Plus ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
              std::string::npos);
    for (const char* id : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
    }
}

TEST_F(LauncherResourcesTest, CarriesItsIcon) {
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14)), nullptr);
}

}  // namespace
