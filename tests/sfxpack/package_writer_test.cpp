#include "tools/sfxpack/package/package_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "format/package_format.h"
#include "tools/sfxpack/package/entry_name.h"
#include "package_fixture.h"

namespace sfxtest {
namespace {

TEST(PackableName, AcceptsOrdinaryNamesAndRefusesWhatWindowsCannotCreate) {
    struct Case {
        std::string name;
        const char* reason;  // nullptr: accepted
    };
    const Case cases[] = {
        {"setup.exe", nullptr},
        {"CONFIG.SYS", nullptr},  // a device name only as the whole stem
        {"com10.txt", nullptr},
        {"a b-c_d(1)~!@#$%^&'.dat", nullptr},
        {std::string(255, 'x'), nullptr},
        {std::string(256, 'x'), "256 bytes long"},
        {std::string(260, 'x'), "260 bytes long"},
        {"", "empty"},
        {".", "folder"},
        {"..", "folder"},
        {"tab\tname", "control character"},
        {std::string("a\x1f"), "control character"},
        {"del\x7f", "printable ASCII"},
        {"caf\xc3\xa9.txt", "printable ASCII"},
        {"name.", "ends in a dot"},
        {"name ", "ends in a blank"},
        {"...", "ends in a dot"},
        {"CON", "reserved device"},
        {"nul.txt", "reserved device"},
        {"COM1", "reserved device"},
        {"lpt9.log", "reserved device"},
        {"aux .txt", "reserved device"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(sfx::CheckEntryName(c.name, &reason), c.reason == nullptr) << c.name;
        if (c.reason != nullptr) {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        }
    }
    for (const char ch : std::string("<>:\"/\\|?*")) {
        std::string reason;
        EXPECT_FALSE(sfx::CheckEntryName(std::string("a") + ch + "b", &reason)) << ch;
        EXPECT_NE(reason.find("does not allow"), std::string::npos) << reason;
    }
}

// A backslash separates folders only where the system says so: on Linux it is part of the
// file's name, which the name rule then refuses.
TEST(PackableName, EntryNameIsThePartAfterTheSystemsSeparators) {
#ifdef _WIN32
    const char* const kBackslashed[] = {"file.txt", "sub"};
#else
    const char* const kBackslashed[] = {"C:\\dir\\file.txt", "dir\\sub"};
#endif
    const std::pair<const char*, const char*> cases[] = {
        {"file.txt", "file.txt"},
        {"dir/sub/file.txt", "file.txt"},
        {"C:\\dir\\file.txt", kBackslashed[0]},
        {"dir\\sub/file", "file"},
        {"a/dir\\sub", kBackslashed[1]},
        {"dir/", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(sfx::EntryNameFromPath(c.first), c.second) << c.first;
}

uint64_t Le(const std::vector<uint8_t>& b, uint64_t at, int bytes) {
    return GetLe(b, static_cast<size_t>(at), bytes);
}

// Decodes the output by fixed offsets rather than through the package reader, so the
// reader and writer cannot share a mistake.
TEST_F(PackageTest, WritesHeadersContentFillerAndTrailerAtTheirOffsets) {
    const std::vector<std::string> contents = {"", "hello", std::string(1000, 'z')};
    const std::vector<std::string> inputs = {AddInput("empty.bin", contents[0]),
                                             AddInput("a/Hello.TXT", contents[1]),
                                             AddInput("b/big.dat", contents[2])};
    const std::vector<std::string> names = {"empty.bin", "Hello.TXT", "big.dat"};
    const std::vector<uint8_t> out = ReadBytes(Pack(inputs));

    const uint64_t p = launcherImage.size();
    ASSERT_GT(out.size(), p);
    EXPECT_TRUE(std::equal(launcherImage.begin(), launcherImage.end(), out.begin()));
    uint64_t at = p;
    uint64_t total = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(names[i]);
        total += contents[i].size();
        EXPECT_EQ(Le(out, at, 4), 3u);         // FileCount
        EXPECT_EQ(Le(out, at + 4, 4), 2 + i);  // FileIndex
        EXPECT_EQ(Le(out, at + 8, 8), contents[i].size());
        EXPECT_EQ(Le(out, at + 16, 8), total);  // TotalSize
        const char* field = reinterpret_cast<const char*>(&out[at + 24]);
        EXPECT_EQ(std::string(field), names[i]);
        EXPECT_TRUE(
            std::all_of(field + names[i].size(), field + 260, [](char c) { return c == 0; }));
        at += sfx::kEntryHeaderSize;
        EXPECT_EQ(std::string(out.begin() + at, out.begin() + at + contents[i].size()),
                  contents[i]);
        at += contents[i].size();
    }
    const uint64_t trailer = out.size() - sfx::kEntryHeaderSize;
    ASSERT_GE(trailer, at);
    EXPECT_LT(trailer - at, 16u);
    EXPECT_EQ(out.size() % 16, 0u);
    EXPECT_TRUE(
        std::all_of(out.begin() + at, out.begin() + trailer, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(Le(out, trailer, 4), 0u);
    EXPECT_EQ(Le(out, trailer + 4, 4), 1u);
    EXPECT_EQ(Le(out, trailer + 8, 8), p);
    EXPECT_EQ(Le(out, trailer + 16, 8), p);
    std::vector<char> name(260, 0);
    std::memcpy(name.data(), "VADuVavuVazo.exe", 16);
    EXPECT_TRUE(std::equal(name.begin(), name.end(), out.begin() + trailer + 24));
}

TEST_F(PackageTest, FillerBringsTheTrailerEndToAMultipleOf16ForEveryRemainder) {
    for (size_t size = 0; size < 16; ++size) {
        const std::vector<uint8_t> out =
            ReadBytes(Pack({AddInput("f.bin", std::string(size, 'q'))}));
        const uint64_t end = launcherImage.size() + sfx::kEntryHeaderSize + size;
        EXPECT_EQ(out.size() % 16, 0u) << size;
        EXPECT_EQ(out.size() - sfx::kEntryHeaderSize - end, sfx::FillerLength(end)) << size;
    }
}

// Nothing of the environment may leak in: not the time, not the files' own times.
TEST_F(PackageTest, SameInputsGiveTheSameBytes) {
    const std::vector<std::string> inputs = {AddInput("one.txt", "1"), AddInput("two.txt", "22")};
    const std::vector<uint8_t> first = ReadBytes(Pack(inputs, "first.exe"));
    for (const std::string& path : {inputs[0], inputs[1], launcher}) {
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24 * 400));
    }
    const std::vector<uint8_t> second = ReadBytes(Pack(inputs, "second.exe"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, second);
}

// Larger than the copy buffer and not a multiple of it, so chunk boundaries are crossed.
TEST_F(PackageTest, ContentLargerThanTheCopyBufferSurvivesIntact) {
    std::string big(3 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131) >> 7);
    const std::vector<uint8_t> out = ReadBytes(Pack({AddInput("big.bin", big)}));
    const size_t at = launcherImage.size() + sfx::kEntryHeaderSize;
    ASSERT_GE(out.size(), at + big.size());
    EXPECT_TRUE(std::equal(big.begin(), big.end(), out.begin() + at,
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
}

}  // namespace
}  // namespace sfxtest
