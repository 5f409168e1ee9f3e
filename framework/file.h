// A file opened through CreateFileW whose failed open fills a failure record, and
// that record's description texts for the log.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/handles.h"

// Why a file operation failed: cause code (0 to 14), the system error code and the file.
class CFileError {
public:
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileError() = default;
    CFileError(int cause, LONG osError, std::wstring fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    // Cause that best describes a system error code; 1 (generic) when none fits.
    static int CauseFromOsError(LONG osError);

    // Writes the description (the cause's template with the file name in it) into
    // buffer, cut to maxChars including the terminator. FALSE when there is no room or
    // no template for the cause.
    BOOL GetErrorMessage(wchar_t* buffer, UINT maxChars) const;

    int m_cause = none;
    LONG m_lOsError = 0;
    std::wstring m_strFileName;
};

class CFile {
public:
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // CreateFileW with FILE_ATTRIBUTE_NORMAL. A path of MAX_PATH (260) characters or
    // more is refused as a bad path without asking the platform. On failure error (when
    // given) describes why, and the thread's last-error code is the record's code.
    BOOL Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
              CFileError* error);

    // Bytes actually read; 0 at the end of the file or on failure.
    DWORD Read(void* buffer, DWORD count);
    // TRUE when every byte was written.
    BOOL Write(const void* buffer, DWORD count);
    // Moves the file pointer; FALSE on failure (for example before the start of the file).
    BOOL Seek(int64_t distance, DWORD moveMethod);
    // Length in bytes, or -1 when it cannot be had.
    int64_t GetLength() const;
    void Close();

    // Cuts the file at the current position.
    BOOL Truncate();

    BOOL IsOpen() const { return m_hFile.IsValid(); }
    HANDLE GetHandle() const { return m_hFile.Get(); }
    const std::wstring& GetFilePath() const { return m_strFileName; }

private:
    UniqueHandle m_hFile;
    std::wstring m_strFileName;
};
