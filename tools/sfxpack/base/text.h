// Small text helpers of the package tool's messages and name checks.
#pragma once

#include <string>

namespace sfx {

inline std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Letter case folded the way Windows compares the ASCII names the tool packs.
inline std::string AsciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

}  // namespace sfx
