// Small text helpers of the package tool's messages and name checks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sfx {

inline std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Offsets, sizes and counts in messages.
inline std::string Num(uint64_t v) { return std::to_string(v); }

// "0x" and upper-case hex digits, at least minDigits of them (0x10B; 0x0200 with 4).
inline std::string Hex(uint64_t v, int minDigits = 1) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", minDigits, static_cast<unsigned long long>(v));
    return buf;
}

// Letter case folded the way Windows compares the ASCII names the tool packs.
inline std::string AsciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

}  // namespace sfx
