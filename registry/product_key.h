// Which of the product's two registry keys is meant: the standard one or the one of the
// business edition, decided by two values in the registry.
#pragma once

#include <string>

constexpr wchar_t kProductKeyToken[] = L"UNIVERSAL_PATH_CONVERT";
constexpr wchar_t kProductKeyPath[] = L"Software\\Corvanta Inc.\\Riradare Vadive Dadadi";
constexpr wchar_t kBusinessKeyPath[] = L"Software\\Corvanta Inc.\\Riradare Vadive Dadadi for Business";

// The product key path for the token (any letter case); any other path comes back as it
// is, without a look at the registry.
std::wstring ResolveProductKeyPath(const std::wstring& path);
