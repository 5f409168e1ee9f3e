// UTF-8 checks for what the tool prints, and UTF-8 <-> UTF-16 for the Windows calls: the
// tool takes and gives UTF-8 everywhere else.
#pragma once

#include <cstddef>
#include <string>

namespace sfx {

// Length of the UTF-8 sequence at s[i], or 0 when none starts there (overlong forms,
// surrogates and values past U+10FFFF count as none).
size_t Utf8SequenceLength(const std::string& s, size_t i);

bool IsValidUtf8(const std::string& s);

#ifdef _WIN32
// False when the input is not valid UTF-8.
bool WidenUtf8(const std::string& utf8, std::wstring* wide);
// Empty when the input cannot be converted.
std::string NarrowToUtf8(const std::wstring& wide);
// The system's text for a Windows error code, with the code.
std::string SystemErrorText(unsigned long code);
#endif

}  // namespace sfx
