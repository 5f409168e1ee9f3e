// A fresh directory per test, removed afterwards, plus small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sfxtest {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<int> counter{0};
        const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
        std::string name =
            std::string("sfxpack_") + (t ? t->name() : "test") + "_" + std::to_string(counter++);
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() / name;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Path(const std::string& relative) const { return (dir_ / relative).string(); }
    const fs::path& Root() const { return dir_; }

    // Names of everything directly in the directory, sorted.
    std::vector<std::string> List() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path dir_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << path;
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

}  // namespace sfxtest
