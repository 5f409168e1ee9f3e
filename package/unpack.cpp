#include "package/unpack.h"

#include <cwchar>
#include <utility>

#include "format/entry_header_codec.h"
#include "format/little_endian.h"
#include "format/package_format.h"
#include "framework/file.h"
#include "package/running_image.h"
#include "util/file_system.h"
#include "util/log.h"

namespace {

const wchar_t kFindTag[] = L"CUnPack::FindHeader";
const wchar_t kUnPackTag[] = L"CUnPack::UnPackFiles";
constexpr DWORD kCopyBlock = 1024;

// Name of an entry as UTF-16, converted with the thread's ANSI code page and never read
// past the 260-byte field, terminator or not.
std::wstring EntryName(const sfx::EntryHeader& header) {
    const int length = static_cast<int>(sfx::FileNameLength(header.FileName));
    if (length == 0) return std::wstring();
    wchar_t wide[sfx::kFileNameField + 1] = {};
    const int converted =
        MultiByteToWideChar(CP_THREAD_ACP, 0, header.FileName, length, wide, sfx::kFileNameField);
    return std::wstring(wide, converted > 0 ? static_cast<size_t>(converted) : 0);
}

struct CopyOutcome {
    BOOL written;     // every delivered byte reached the output file
    BOOL whole;       // and they were all the entry's bytes
    DWORD lastError;  // of the failed write
};

// Streams size bytes from the image into output, one block at a time. A read that
// delivers nothing ends the copy: the package is cut short, and reading on would only
// spin through a damaged size.
CopyOutcome CopyContent(CFile& image, CFile& output, uint64_t size) {
    BYTE buffer[kCopyBlock];
    const uint64_t blocks = size / kCopyBlock;
    const DWORD remainder = static_cast<DWORD>(size % kCopyBlock);
    uint64_t copied = 0;
    for (uint64_t i = 0; i <= blocks; ++i) {
        const DWORD want = i < blocks ? kCopyBlock : remainder;
        if (want == 0) break;
        memset(buffer, 0, sizeof(buffer));
        const DWORD got = image.Read(buffer, want);
        if (got == 0) break;
        if (!output.Write(buffer, got)) return {FALSE, FALSE, GetLastError()};
        copied += got;
    }
    return {TRUE, copied == size ? TRUE : FALSE, NO_ERROR};
}

}  // namespace

CUnPack::CUnPack(std::wstring imagePath)
    : m_bUnPacked(0),
      m_strImagePath(std::move(imagePath)),
      m_pfnFreeSpace(GetDiskFreeSpaceExW),
      m_bOwnWorkFolder(FALSE),
      m_bRunBatWritten(FALSE) {}

std::wstring CUnPack::ImagePath() const {
    return m_strImagePath.empty() ? GetModulePath() : m_strImagePath;
}

BOOL CUnPack::OpenImage() {
    if (m_image.IsOpen()) return TRUE;
    const std::wstring path = ImagePath();
    CFileError error;
    // Shared for reading only: while it is open nobody can write to the file, rename it
    // away or delete it. Execute access lets it be mapped as an image for the comparison.
    if (!m_image.Open(path, GENERIC_READ | FILE_EXECUTE, FILE_SHARE_READ, OPEN_EXISTING, &error)) {
        WriteLog(L"[%s] Fail", kFindTag);
        CUtility::FileException(error);
        NoteIncomplete(L"the program's own file cannot be read");
        return FALSE;
    }
    if (m_strImagePath.empty() && !IsRunningImage(m_image.GetHandle())) {
        WriteLog(L"[%s] not the running image:%s", kFindTag, path.c_str());
        NoteIncomplete(L"the file under the program's name is not the program that runs");
        m_image.Close();
        return FALSE;
    }
    return TRUE;
}

void CUnPack::NoteIncomplete(const std::wstring& reason) {
    if (m_strIncomplete.empty()) m_strIncomplete = reason;
}

uint64_t CUnPack::FindHeader() {
    const std::wstring path = ImagePath();
    WriteLog(L"[%s] Name:%s", kFindTag, path.c_str());
    if (!OpenImage()) return 0;
    CFile& image = m_image;

    BYTE dos[sfx::kDosHeaderSize] = {};
    const DWORD dosRead = image.Seek(0, FILE_BEGIN) ? image.Read(dos, sizeof(dos)) : 0;
    const int32_t lfanew = static_cast<int32_t>(sfx::LoadLe32(dos + sfx::kLfanewOffset));
    const int64_t length = image.GetLength();
    if (length < 0 || static_cast<uint64_t>(static_cast<int64_t>(lfanew)) > static_cast<uint64_t>(length)) {
        return 0;
    }
    if (dosRead < sizeof(dos)) {
        WriteLog(L"[%s] Image too short:%lld", kFindTag, static_cast<long long>(length));
        return 0;
    }

    BYTE pe[sfx::kOwnPeHeadersReadSize] = {};
    if (!image.Seek(lfanew, FILE_BEGIN) || image.Read(pe, sizeof(pe)) < sizeof(pe)) {
        WriteLog(L"[%s] PE headers cut short at:%d length:%lld", kFindTag, lfanew,
                 static_cast<long long>(length));
        return 0;
    }
    const uint32_t signSize = sfx::LoadLe32(pe + sfx::kOwnSecurityDirSizeOffset);
    WriteLog(L"[%s] Sign Size:%d", kFindTag, static_cast<int>(signSize));

    const uint64_t distance = sfx::TrailerDistanceFromEnd(signSize);
    uint8_t trailerBytes[sfx::kEntryHeaderSize];
    if (distance > static_cast<uint64_t>(length) ||
        !image.Seek(-static_cast<int64_t>(distance), FILE_END) ||
        image.Read(trailerBytes, sizeof(trailerBytes)) < sizeof(trailerBytes)) {
        WriteLog(L"[%s] No trailer: distance:%lld length:%lld", kFindTag,
                 static_cast<long long>(distance), static_cast<long long>(length));
        return 0;
    }

    const uint64_t offset = sfx::DecodeEntryHeader(trailerBytes).FileSize;
    WriteLog(L"[%s] Header offset:%d", kFindTag, static_cast<int>(static_cast<uint32_t>(offset)));
    return offset;
}

namespace {

void RefuseName(const std::wstring& outputPath) {
    SetLastError(ERROR_INVALID_NAME);
    CUtility::FileException(CFileError(CFileError::badPath, ERROR_INVALID_NAME, outputPath));
}

// Reads the entry header at position; false at the end of the package (nothing more to
// read, a header cut short, a position out of reach), each but the first logged.
bool ReadEntryHeader(CFile& image, uint64_t position, sfx::EntryHeader& header) {
    if (position > static_cast<uint64_t>(INT64_MAX) ||
        !image.Seek(static_cast<int64_t>(position), FILE_BEGIN)) {
        WriteLog(L"[%s] Seek failed at:%lld", kUnPackTag, static_cast<long long>(position));
        return false;
    }
    uint8_t bytes[sfx::kEntryHeaderSize];
    const DWORD got = image.Read(bytes, sizeof(bytes));
    if (got == 0) return false;
    if (got < sizeof(bytes)) {
        WriteLog(L"[%s] Entry header cut short:%d", kUnPackTag, static_cast<int>(got));
        return false;
    }
    header = sfx::DecodeEntryHeader(bytes);
    return true;
}

}  // namespace

BOOL CUnPack::ExtractEntry(const sfx::EntryHeader& header, int counter) {
    const std::wstring name = EntryName(header);
    const std::wstring outputPath = GetWorkFolder() + name;
    WriteLog(L"[%s] (%d/%d)UnPack file name:%s (%d)", kUnPackTag, counter, header.FileCount,
             outputPath.c_str(), static_cast<int>(static_cast<uint32_t>(header.FileSize)));

    CFile output;
    CFileError error;
    // A name that could reach out of the work folder is a bad path, like one too long.
    if (!sfx::IsSafeEntryName(name.c_str(), name.size())) {
        RefuseName(outputPath);
        return FALSE;
    }
    if (!OwnsWorkFolder()) {
        // A folder we did not make could send the files elsewhere or hold others' files.
        SetLastError(ERROR_ACCESS_DENIED);
        CUtility::FileException(CFileError(CFileError::accessDenied, ERROR_ACCESS_DENIED, outputPath));
        return FALSE;
    }
    // Opened without truncating: a file that is there already may be another entry's,
    // reached through its short 8.3 alias, and must keep its content then. A new file, the
    // usual case, costs no look at the folder beyond the creation itself.
    if (!output.Open(outputPath, GENERIC_WRITE, 0, OPEN_ALWAYS, &error)) {
        CUtility::FileException(error);
        return FALSE;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Only an earlier entry's own file of the same name is written over: not a file
        // reached through its short alias, and nothing that is a link or has another name.
        if (!IsNamedIn(GetFinalPath(output.GetHandle()), GetFinalPath(m_hWorkFolder.Get()), name) ||
            !IsPlainSingleLinkFile(output.GetHandle())) {
            output.Close();
            RefuseName(outputPath);
            return FALSE;
        }
        output.Truncate();
    }
    const CopyOutcome copied = CopyContent(m_image, output, header.FileSize);
    const BOOL whole = copied.written && copied.whole;
    if (EqualIgnoringCase(name, L"run.bat")) m_bRunBatWritten = whole;
    if (!copied.written) {
        SetLastError(copied.lastError);
        CUtility::FileException(CFileError(CFileError::CauseFromOsError(static_cast<LONG>(copied.lastError)),
                                           static_cast<LONG>(copied.lastError), outputPath));
    }
    WriteLog(L"[%s] UnPack count:%d len:%d File:%s", kUnPackTag, counter,
             static_cast<int>(static_cast<uint32_t>(output.GetLength())), outputPath.c_str());
    return whole;
}

int CUnPack::UnPackFiles() {
    const uint64_t offset = FindHeader();
    if (offset == 0) {
        m_image.Close();
        return 0;
    }

    sfx::EntryHeader header = {};
    int counter = 0;
    int expected = 0;
    ULONGLONG freeBytes = 0;
    // Each entry's position follows from the one before, so an entry that failed is
    // skipped exactly and the walk goes on; the run counts as broken all the same.
    for (uint64_t position = offset; ReadEntryHeader(m_image, position, header);) {
        expected = header.FileCount;
        if (counter >= header.FileCount) break;
        if (!CheckFreeSpace(header.FileSize, freeBytes)) {
            NoteIncomplete(L"disk space short");
            m_image.Close();
            return 0;
        }
        if (!ExtractEntry(header, ++counter)) {
            wchar_t reason[64] = {};
            _snwprintf(reason, 63, L"entry %d not written whole", counter);
            NoteIncomplete(reason);
        }
        if (counter == header.FileCount) break;
        if (!sfx::NextEntryOffset(position, header.FileSize, &position)) break;
    }
    if (counter < expected) {
        wchar_t reason[80] = {};
        _snwprintf(reason, 79, L"the package ends after %d of %d entries", counter, expected);
        NoteIncomplete(reason);
    }

    WriteLog(L"[%s] UnPack total %d files.", kUnPackTag, counter);
    m_image.Close();
    m_bUnPacked = 1;
    return 1;
}

DWORD WINAPI CUnPack::UnPackThreadProc(LPVOID parameter) {
    CUnPack* self = static_cast<CUnPack*>(parameter);
    if (self == nullptr) return 0;
    return static_cast<DWORD>(self->UnPackFiles());
}

void CUnPack::StartThread() {
    if (m_hThread) return;
    m_hThread.Reset(CreateThread(nullptr, 0, UnPackThreadProc, this, 0, nullptr));
}

int CUnPack::Run() {
    StartThread();
    if (m_hThread && WaitForSingleObject(m_hThread.Get(), INFINITE) == WAIT_OBJECT_0) m_hThread.Reset();
    return 0;
}
