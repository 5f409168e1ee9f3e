#pragma once

#include <windows.h>

#include <string>

// Text of string-table entry id from the executable's own resources; empty when absent.
std::wstring LoadResourceString(UINT id);
