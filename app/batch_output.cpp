#include "app/batch_output.h"

#include <utility>

#include "util/file_system.h"
#include "util/folder_security.h"

namespace {

constexpr int kClaimTries = 4;
constexpr int kAsideTries = 16;

struct FileIdentity {
    DWORD volume = 0, indexHigh = 0, indexLow = 0;
    bool operator==(const FileIdentity& o) const {
        return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
    }
};

// Identity of an open plain file with one name; false for anything else.
bool PlainFileIdentity(HANDLE file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (info.nNumberOfLinks != 1) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->indexHigh = info.nFileIndexHigh;
    identity->indexLow = info.nFileIndexLow;
    return true;
}

// A name beside path that nobody can have planted ahead.
std::wstring UniqueSuffix() { return L"." + RandomSuffix(); }

// Makes a new private file under a name nobody has taken (CREATE_NEW fails on anything
// there, a dangling link included) and tells its identity. The handle, shared for the
// move, is what deletes the file again should it not get to its place: a name could be
// someone else's by then.
UniqueHandle MakeFresh(const std::wstring& name, FileIdentity* identity) {
    CPrivateFolderSecurity security;
    UniqueHandle file(CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security.Attributes(),
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !PlainFileIdentity(file.Get(), identity)) return UniqueHandle();
    return file;
}

bool MoveOnto(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// Moves what lies at path to a new name beside it; a rename moves a link or a folder as
// itself, so nothing it points at is touched.
bool MoveAside(const std::wstring& path) {
    for (int n = 0; n < kAsideTries; ++n) {
        const std::wstring aside = path + UniqueSuffix() + L".old";
        if (MoveFileExW(path.c_str(), aside.c_str(), 0)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

}  // namespace

BOOL CBatchOutputFile::Claim(const std::wstring& path) {
    m_hFile.Reset();
    for (int attempt = 0; attempt < kClaimTries; ++attempt) {
        const std::wstring fresh = path + UniqueSuffix() + L".new";
        FileIdentity made;
        UniqueHandle madeFile = MakeFresh(fresh, &made);
        if (!madeFile) continue;
        if (!MoveOnto(fresh, path) && !(MoveAside(path) && MoveOnto(fresh, path))) {
            DeleteByHandle(madeFile.Get());
            continue;
        }
        // Its delete access would keep the interpreter from opening the file.
        madeFile.Reset();
        // Read access with read and write sharing lets the interpreter's redirection open
        // and truncate it; without delete sharing nobody can rename or replace it meanwhile.
        UniqueHandle held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FileIdentity found;
        if (held && PlainFileIdentity(held.Get(), &found) && found == made) {
            m_hFile = std::move(held);
            return TRUE;
        }
    }
    return FALSE;
}

std::wstring CBatchOutputFile::ClaimBesideLog(const std::wstring& logFilePath) {
    if (Claim(logFilePath + L".txt")) return logFilePath;
    for (int attempt = 0; attempt < kClaimTries; ++attempt) {
        const std::wstring spare = logFilePath + UniqueSuffix();
        if (Claim(spare + L".txt")) return spare;
    }
    return std::wstring();
}
