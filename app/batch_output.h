// The file that takes run.bat's console output, beside the log. The temporary folder is
// writable by others, so whatever lies under its name (a link, a hard link to another file,
// a folder, a read-only file) is never opened, truncated or written through: a fresh file
// of our own is put in its place and held until the batch has ended. Only this account, the
// system and the administrators may open it, so nobody else can hold it to keep the
// interpreter's redirection from opening it.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

class CBatchOutputFile {
public:
    // The batch output of a run whose log is logFilePath: claims logFilePath + ".txt", or,
    // when something there cannot be replaced (a file another process holds open), a fresh
    // logFilePath + ".<random>.txt" beside it. Returns what ".txt" was appended to, empty
    // when neither could be had.
    std::wstring ClaimBesideLog(const std::wstring& logFilePath);
    BOOL IsHeld() const { return m_hFile.IsValid(); }
    void Release() { m_hFile.Reset(); }

private:
    // Puts a fresh empty plain file at path: made under a new name, then moved onto path
    // (which replaces a link or a hard link as a name, leaving what it points at alone);
    // what cannot be replaced is first moved aside under a new name. TRUE when the file at
    // path is the one made here and is now held (no delete sharing, so it cannot be swapped
    // until Release); FALSE when that could not be had after a few tries.
    BOOL Claim(const std::wstring& path);

    UniqueHandle m_hFile;
};
