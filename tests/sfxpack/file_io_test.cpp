#include "tools/sfxpack/base/file_io.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace sfxtest {
namespace {

TEST(FileIo, RangeReadsAreExactAndRefuseToRunPastTheEnd) {
    ScratchDir dir;
    WriteText(dir.Path("f"), "0123456789");
    std::vector<uint8_t> data;
    std::string error;
    ASSERT_TRUE(sfx::ReadFileRange(dir.Path("f"), 3, 4, &data, &error)) << error;
    EXPECT_EQ(std::string(data.begin(), data.end()), "3456");
    EXPECT_TRUE(sfx::ReadFileRange(dir.Path("f"), 10, 0, &data, &error)) << error;
    EXPECT_FALSE(sfx::ReadFileRange(dir.Path("f"), 7, 4, &data, &error));
    EXPECT_FALSE(sfx::ReadFileRange(dir.Path("f"), UINT64_MAX, 2, &data, &error));
    EXPECT_NE(error.find("ends before"), std::string::npos) << error;
}

TEST(FileIo, ReplacingWriterTouchesTheTargetOnlyOnCommit) {
    ScratchDir dir;
    const std::string target = dir.Path("target");
    WriteText(target, "old");
    std::string error;
    {
        sfx::ReplacingFileWriter w;
        ASSERT_TRUE(w.Open(target, &error)) << error;
        ASSERT_TRUE(w.Write("new", 3, &error)) << error;
        EXPECT_EQ(dir.List().size(), 2u);  // target and the temporary file
    }                                      // dropped without Commit
    EXPECT_EQ(dir.List(), std::vector<std::string>{"target"});
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));

    sfx::ReplacingFileWriter w;
    ASSERT_TRUE(w.Open(target, &error)) << error;
    ASSERT_TRUE(w.Write("new!", 4, &error)) << error;
    ASSERT_TRUE(w.Commit(&error)) << error;
    EXPECT_EQ(dir.List(), std::vector<std::string>{"target"});
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'n', 'e', 'w', '!'}));
}

}  // namespace
}  // namespace sfxtest
