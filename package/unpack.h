// Reads the package appended to the launcher image and unpacks it into the work folder
// on a worker thread of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "format/package_format.h"
#include "framework/file.h"
#include "framework/handles.h"

class CUnPack {
public:
    // Free-space query in the shape of GetDiskFreeSpaceExW; tests put a fake in its place.
    using FreeSpaceQuery = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                         PULARGE_INTEGER);

    // imagePath names the file that carries the package; empty means the running
    // executable, which is what the launcher always uses.
    explicit CUnPack(std::wstring imagePath = std::wstring());
    CUnPack(const CUnPack&) = delete;
    CUnPack& operator=(const CUnPack&) = delete;

    // File offset of the first entry header, found through the trailer that ends where
    // the certificate table begins; 0 when there is no package.
    uint64_t FindHeader();

    // Unpacks every entry into the work folder. 1 when the walk over the package ended
    // normally (single entries may have failed); 0 when there is no package, the image
    // cannot be opened, or disk space is short.
    int UnPackFiles();

    // Why the package was not unpacked whole: an entry not written whole, the walk or the
    // extraction stopped early, or a package that does not come from the running image.
    // Empty when nothing went wrong, a launcher without a package included. Nothing may be
    // started after such a run: run.bat would find files missing or not ours.
    const std::wstring& IncompleteReason() const { return m_strIncomplete; }

    // Starts the worker unless it already runs.
    void StartThread();
    // Runs UnPackFiles on the worker and waits for it without limit; always 0.
    int Run();

    // The folder the work folder and the batch output go into, ending in a backslash: the
    // user's temporary folder, or the machine's when that one could redirect a later step
    // (util/work_temp.h); decided and logged at the first call.
    std::wstring GetWorkTemp();

    // Work folder path, ending in a backslash; the first call creates the folder afresh:
    // "unpack" in the temporary directory, or "unpack.N" beside it when a leftover "unpack"
    // cannot be removed. The folder is held until RemoveWorkFolder.
    std::wstring GetWorkFolder();
    // TRUE when the work folder is one this run created (with the private access list);
    // it is held from its creation until RemoveWorkFolder. Nothing is unpacked into or
    // started from any other.
    BOOL OwnsWorkFolder() const { return m_bOwnWorkFolder; }
    // Deletes the work folder and all in it when it is our own; the current directory
    // moves to its parent.
    void RemoveWorkFolder();

    // TRUE when this run wrote the package's run.bat into its own work folder, whole.
    BOOL HasWrittenRunBat() const { return m_bRunBatWritten; }

    static DWORD WINAPI UnPackThreadProc(LPVOID parameter);

    // Returns the query that was in place.
    FreeSpaceQuery SetFreeSpaceQueryForTest(FreeSpaceQuery query) {
        const FreeSpaceQuery previous = m_pfnFreeSpace;
        m_pfnFreeSpace = query;
        return previous;
    }
    BOOL IsUnPacked() const { return m_bUnPacked; }

private:
    std::wstring ImagePath() const;
    // Opens the image once, for every read of the package: without write or delete
    // sharing, and, for the running executable, only when it is the file the process runs
    // from. FALSE (and logged) otherwise.
    BOOL OpenImage();
    // Keeps the first reason the package was not unpacked whole.
    void NoteIncomplete(const std::wstring& reason);
    BOOL CheckFreeSpace(uint64_t fileSize, ULONGLONG& freeBytes);
    static void RemoveFolder(const std::wstring& folder);
    // Writes one entry, whose content the image's file pointer stands at, into the work
    // folder, or logs why it was not; counter is its 1-based number. TRUE when written whole.
    BOOL ExtractEntry(const sfx::EntryHeader& header, int counter);

    UniqueHandle m_hThread;
    std::wstring m_strWorkFolder;
    BOOL m_bUnPacked;
    std::wstring m_strImagePath;
    CFile m_image;
    std::wstring m_strWorkTemp;
    std::wstring m_strIncomplete;
    FreeSpaceQuery m_pfnFreeSpace;
    UniqueHandle m_hWorkFolder;
    BOOL m_bOwnWorkFolder;
    BOOL m_bRunBatWritten;
};
