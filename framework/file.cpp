#include "framework/file.h"

#include <cwchar>

namespace {

const wchar_t* const kCauseTemplates[] = {
    L"No error occurred.",
    L"An unknown error occurred while accessing %1.",
    L"%1 was not found.",
    L"%1 contains an incorrect path.",
    L"Could not open %1 because there are too many open files.",
    L"Access to %1 was denied.",
    L"An incorrect file handle was associated with %1.",
    L"Could not remove %1 because it is the current directory.",
    L"Could not create %1 because the directory is full.",
    L"Seek failed on %1",
    L"Encountered a hardware I/O error while accessing %1.",
    L"Encountered a sharing violation while accessing %1.",
    L"Encountered a locking violation while accessing %1.",
    L"Disk full while accessing %1.",
    L"Attempted to access %1 past its end.",
};

}  // namespace

int CFileError::CauseFromOsError(LONG osError) {
    switch (osError) {
        case NO_ERROR: return none;
        case ERROR_FILE_NOT_FOUND: return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY: return badPath;
        case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_WRITE_PROTECT: return accessDenied;
        case ERROR_INVALID_HANDLE: return invalidFile;
        case ERROR_CURRENT_DIRECTORY: return removeCurrentDir;
        case ERROR_CANNOT_MAKE: return directoryFull;
        case ERROR_SEEK:
        case ERROR_NEGATIVE_SEEK: return badSeek;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE: return hardIO;
        case ERROR_SHARING_VIOLATION: return sharingViolation;
        case ERROR_LOCK_VIOLATION: return lockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return diskFull;
        case ERROR_HANDLE_EOF: return endOfFile;
        default: return genericException;
    }
}

BOOL CFileError::GetErrorMessage(wchar_t* buffer, UINT maxChars) const {
    if (buffer == nullptr || maxChars == 0) return FALSE;
    if (m_cause < 0 || m_cause >= static_cast<int>(sizeof(kCauseTemplates) / sizeof(kCauseTemplates[0]))) {
        return FALSE;
    }
    const std::wstring name = m_strFileName.empty() ? L"an unnamed file" : m_strFileName;
    std::wstring text;
    for (const wchar_t* p = kCauseTemplates[m_cause]; *p != L'\0'; ++p) {
        if (p[0] == L'%' && p[1] == L'1') {
            text += name;
            ++p;
        } else {
            text += *p;
        }
    }
    const size_t length = text.size() < maxChars - 1 ? text.size() : maxChars - 1;
    wmemcpy(buffer, text.data(), length);
    buffer[length] = L'\0';
    return TRUE;
}

BOOL CFile::Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                 CFileError* error) {
    Close();
    m_strFileName = path;
    LONG osError = NO_ERROR;
    if (path.size() >= MAX_PATH) {
        osError = ERROR_FILENAME_EXCED_RANGE;
    } else {
        m_hFile.Reset(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_hFile) return TRUE;
        osError = static_cast<LONG>(GetLastError());
    }
    if (error != nullptr) {
        *error = CFileError(path.size() >= MAX_PATH ? CFileError::badPath
                                                    : CFileError::CauseFromOsError(osError),
                            osError, path);
    }
    SetLastError(static_cast<DWORD>(osError));
    return FALSE;
}

DWORD CFile::Read(void* buffer, DWORD count) {
    DWORD delivered = 0;
    if (!ReadFile(m_hFile.Get(), buffer, count, &delivered, nullptr)) return 0;
    return delivered;
}

BOOL CFile::Write(const void* buffer, DWORD count) {
    DWORD written = 0;
    return WriteFile(m_hFile.Get(), buffer, count, &written, nullptr) && written == count;
}

BOOL CFile::Seek(int64_t distance, DWORD moveMethod) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    return SetFilePointerEx(m_hFile.Get(), move, nullptr, moveMethod);
}

int64_t CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile.Get(), &size)) return -1;
    return size.QuadPart;
}

BOOL CFile::Truncate() { return SetEndOfFile(m_hFile.Get()); }

void CFile::Close() { m_hFile.Reset(); }
