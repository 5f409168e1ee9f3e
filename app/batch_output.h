// The file that takes run.bat's console output, beside the log. The temporary folder is
// writable by others, so whatever lies under its name (a link, a hard link to another file,
// a folder, a read-only file) is never opened, truncated or written through: a fresh file
// of our own is put in its place and held until the batch has ended.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

class CBatchOutputFile {
public:
    // Puts a fresh empty plain file at path: made under a new name, then moved onto path
    // (which replaces a link or a hard link as a name, leaving what it points at alone);
    // what cannot be replaced is first moved aside under a new name. TRUE when the file at
    // path is the one made here and is now held (no delete sharing, so it cannot be swapped
    // until Release); FALSE when that could not be had after a few tries.
    BOOL Claim(const std::wstring& path);
    void Release() { m_hFile.Reset(); }

private:
    UniqueHandle m_hFile;
};
