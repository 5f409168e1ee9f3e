// The name rule shared with the launcher: names it refuses, and names that have the shape
// of another name's short 8.3 alias.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "format/package_format.h"
#include "tools/sfxpack/package/short_alias_index.h"

namespace sfxtest {
namespace {

std::wstring Widened(const std::string& bytes) {
    std::wstring w;
    for (const char c : bytes) w += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return w;
}

TEST(NameRule, RefusesWhatWindowsWouldRewriteOrOpenAsADevice) {
    const std::pair<std::string, bool> cases[] = {
        {"run.bat", true},
        {"run.bat.", false},
        {"run.bat . .", false},
        {"run.bat ", false},
        {".profile", true},
        {"a.b.c", true},
        {"COM1", false},
        {"com9.txt", false},
        {"COM0", false},
        {"COM10", true},
        {"COM\xB9", false},
        {"lpt\xB2.log", false},
        {"COM\xB3 .txt", false},
        {"LPT\xB9\xB9", true},
        {"COM\xB4", true},  // only 1, 2 and 3 have superscript device names
        {"COMX", true},
        {"NUL", false},
        {"conout$.txt", false},
        {"console", true},
        {"a:b", false},
        {"a/b", false},
        {"a\\b", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sfx::IsSafeEntryName(c.first.data(), c.first.size()), c.second) << c.first;
        const std::wstring wide = Widened(c.first);
        EXPECT_EQ(sfx::IsSafeEntryName(wide.data(), wide.size()), c.second) << c.first;
    }
}

std::string Folded(std::string s) {
    for (char& c : s) c = sfx::AsciiUpper(c);
    return s;
}

bool AliasShape(const std::string& alias, const std::string& longName) {
    const bool narrow =
        sfx::HasShortAliasShapeOf(alias.data(), alias.size(), longName.data(), longName.size());
    const std::wstring a = Widened(alias), l = Widened(longName);
    EXPECT_EQ(sfx::HasShortAliasShapeOf(a.data(), a.size(), l.data(), l.size()), narrow)
        << alias << " / " << longName;
    return narrow;
}

TEST(NameRule, ShortAliasShape) {
    struct Case {
        const char* alias;
        const char* longName;
        bool shape;
    };
    const Case cases[] = {
        {"INSTAL~1.MSI", "installer-database.msi", true},
        {"instal~2.msi", "installer-database.msi", true},
        {"IN1F2A~1.MSI", "installer-database.msi", true},  // hashed form keeps two characters
        {"I~1", "installer-database.msi", true},
        {"PR~12345", "Program Files", true},
        {"PR~1", " .Program Files", true},  // blanks and dots are left out of short names
        {"IX~1.MSI", "installer-database.msi", false},
        {"INSTAL~1.MSI", "INSTALL.MSI", false},  // a plain 8.3 name gets no alias
        {"README~1.TXT", "readme.txt", true},   // lower case may get one
        {"INSTAL~.MSI", "installer-database.msi", false},
        {"~1.MSI", "installer-database.msi", false},
        {"INSTALLE~1.MSI", "installer-database.msi", false},  // nine before the dot
        {"INSTAL~1.MSIX", "installer-database.msix", false},
        {"IN~1.A.B", "in.a.b.c", false},
        {"INSTAL1.MSI", "installer-database.msi", false},
        {"I~1", "i", true},
        {"IN~1", "i", false},
    };
    for (const Case& c : cases) EXPECT_EQ(AliasShape(c.alias, c.longName), c.shape) << c.alias << " / " << c.longName;
}

// The index answers as asking every pair would, over names made to collide often.
TEST(NameRule, IndexFindsWhatEveryPairWouldFind) {
    std::mt19937 random(7);
    const std::string pieces[] = {"a", "B", "~", "1", "2", ".", " ", "txt", "Ab", "ab~1", "~12"};
    int matches = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> names;
        for (int i = 0; i < 12; ++i) {
            std::string name;
            const int parts = 1 + static_cast<int>(random() % 4);
            for (int p = 0; p < parts; ++p) name += pieces[random() % (sizeof pieces / sizeof pieces[0])];
            names.push_back(name);
        }
        sfx::ShortAliasIndex index;
        for (size_t i = 0; i < names.size(); ++i) index.Add(names[i], i);
        for (size_t i = 0; i < names.size(); ++i) {
            bool pairwise = false;
            for (size_t j = 0; j < names.size(); ++j) {
                if (Folded(names[i]) != Folded(names[j]) && AliasShape(names[i], names[j])) {
                    pairwise = true;
                }
            }
            matches += pairwise ? 1 : 0;
            size_t other = 0;
            std::string longName;
            const bool found = index.FindAliased(names[i], &other, &longName);
            EXPECT_EQ(found, pairwise) << names[i];
            if (found) {
                EXPECT_TRUE(AliasShape(names[i], names[other])) << names[i];
                EXPECT_NE(Folded(names[i]), Folded(names[other])) << names[i];
            }
        }
    }
    EXPECT_GT(matches, 100);  // the names do collide, so the comparison means something
}

TEST(NameRule, IndexStaysFastOnAMillionAlikeNames) {
    sfx::ShortAliasIndex index;
    const auto start = std::chrono::steady_clock::now();
    size_t found = 0;
    for (size_t i = 0; i < 1000000; ++i) {
        const std::string name = "ab~" + std::to_string(i % 100000) + (i % 2 ? ".txt" : "");
        size_t other = 0;
        std::string longName;
        if (index.FindAliased(name, &other, &longName)) ++found;
        index.Add(name, i);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(found, 999999u);  // every name after the first aliases an earlier one
}

}  // namespace
}  // namespace sfxtest
