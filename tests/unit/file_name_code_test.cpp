#include <gtest/gtest.h>

#include "app/file_name_code.h"

TEST(FileNameCodeTest, FindsTheCodeAndRegionByTheShapeOfTheName) {
    const struct {
        const wchar_t* path;
        bool valid;
        const wchar_t* code;
        const wchar_t* region;
    } cases[] = {
        {L"C:\\dl\\setup-AbC123dEf456us.exe", true, L"AbC123dEf456", L"US"},
        {L"C:\\dl\\setup-ABC123DEF456.exe", true, L"ABC123DEF456", L""},
        {L"C:\\dl\\setup-ABC123DEF456 (1).exe", true, L"ABC123DEF456", L""},
        {L"C:\\dl\\setup-ABC123DEF45.exe", false, L"", L""},
        {L"C:\\dl\\setup.exe", false, L"", L""},
        {L"C:\\my-downloads\\setup.exe", false, L"", L""},
        {L"C:\\my-downloads123456\\setup.exe", false, L"", L""},
        {L"C:\\dl\\setup-ABC123DEF456u.exe", true, L"ABC123DEF456", L""},
        {L"C:\\dl\\setup-abc123def456Eu.exe", true, L"abc123def456", L"EU"},
        {L"C:\\dl\\a-b-ABC123DEF456.exe", true, L"ABC123DEF456", L""},
        {L"C:\\dl\\setup-ABC123DEF45_.exe", false, L"", L""},
        {L"C:\\dl\\setup-ABC123DEF456", true, L"ABC123DEF456", L""},
        {L"", false, L"", L""},
    };
    for (const auto& c : cases) {
        FileNameCode parsed;
        const bool valid = ParseFileNameCode(c.path, &parsed);
        EXPECT_EQ(valid, c.valid) << std::wstring(c.path).size();
        if (!valid) continue;
        EXPECT_EQ(parsed.code, c.code);
        EXPECT_EQ(parsed.region, c.region);
    }
}
