// UTF-8 <-> UTF-16 for the Windows calls: the tool takes and gives UTF-8 everywhere else.
#pragma once

#ifdef _WIN32
#include <string>

namespace sfx {

// False when the input is not valid UTF-8.
bool WidenUtf8(const std::string& utf8, std::wstring* wide);
// Empty when the input cannot be converted.
std::string NarrowToUtf8(const std::wstring& wide);

}  // namespace sfx
#endif
