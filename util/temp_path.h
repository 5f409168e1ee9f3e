#pragma once

#include <string>

// The temporary directory as GetTempPathW reports it (ending in a backslash), asked
// with the usual 260-unit bound; empty when the call fails.
std::wstring GetTempDirectory();
