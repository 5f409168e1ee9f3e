#include "framework/string_resource.h"

std::wstring LoadResourceString(UINT id) {
    // With a zero length LoadStringW hands back a read-only pointer into the resource
    // itself, so the text is never cut to a buffer size.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}
