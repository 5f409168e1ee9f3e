#include "util/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cwchar>

#include "framework/file.h"
#include "framework/handles.h"
#include "util/file_system.h"
#include "util/system_paths.h"
#include "util/work_temp.h"

namespace {

constexpr size_t kMessageBuffer = 1024;
constexpr size_t kMaxMessage = 1022;
constexpr size_t kStampBuffer = 128;

std::wstring LocalTimeStamp() {
    const __time64_t now = _time64(nullptr);
    const tm* local = _localtime64(&now);
    if (local == nullptr) return std::wstring();
    wchar_t stamp[kStampBuffer] = {};
    if (wcsftime(stamp, kStampBuffer, L"%Y-%m-%d %H:%M:%S", local) == 0) return std::wstring();
    return stamp;
}

}  // namespace

void WriteLog(const wchar_t* format, ...) {
    const DWORD lastError = GetLastError();

    wchar_t message[kMessageBuffer] = {};
    va_list args;
    va_start(args, format);
    // The msvcrt formatter stops at kMaxMessage characters without a terminator; the
    // zero-filled buffer supplies it, so an over-long message is cut, not lost.
    _vsnwprintf(message, kMaxMessage, format, args);
    va_end(args);
    message[kMaxMessage] = L'\0';

    const std::wstring stamp = LocalTimeStamp();
    std::wstring line(32 + stamp.size() + kMaxMessage + 32, L'\0');
    const int length = _snwprintf(&line[0], line.size() - 1, L"[%d]%s  %s (Last=%d)",
                                  static_cast<int>(GetCurrentProcessId()), stamp.c_str(),
                                  message, static_cast<int>(lastError));
    line.resize(length < 0 ? wcslen(line.c_str()) : static_cast<size_t>(length));

    OutputDebugStringW(line.c_str());
    AppendLogLine(line);
}

namespace {

const wchar_t kLogName[] = L"unpack.log";

// Where the log goes, decided anew only when GetTempPathW answers something else: the user's
// temporary folder, held, when nothing on its way can send the writes elsewhere; else the
// machine's. Kept at namespace scope: the lean runtime has no guard for function-local statics.
struct LogFolder {
    std::wstring temp;    // the answer it was decided for
    std::wstring folder;  // ending in a backslash
    UniqueHandle held;    // the user's folder, when it is the one; each line is made relative to it
};
LogFolder g_logFolder;

const LogFolder& DecideLogFolder() {
    const std::wstring temp = GetTempDirectory();
    if (!g_logFolder.folder.empty() && temp == g_logFolder.temp) return g_logFolder;
    g_logFolder.temp = temp;
    g_logFolder.held.Reset();
    // A link or mount point on the way (or a folder swapped for one later, between two
    // lines) would make an elevated run create or append to a file wherever it leads.
    if (WhyRedirecting(temp, &g_logFolder.held) == nullptr) {
        g_logFolder.folder = temp;
    } else {
        g_logFolder.held.Reset();
        g_logFolder.folder = GetSystemWindowsDirectoryPath() + L"\\Temp\\";
    }
    return g_logFolder;
}

}  // namespace

std::wstring GetLogFilePath() { return DecideLogFolder().folder + kLogName; }

void AppendLogLine(const std::wstring& line) {
    const LogFolder& folder = DecideLogFolder();
    // No sharing: while anyone else has the file open the line is dropped rather than
    // interleaved. A link at the name is opened as itself so it can be refused.
    UniqueHandle file = folder.held ? OpenForAppendIn(folder.held.Get(), kLogName)
                                    : UniqueHandle(CreateFileW((folder.folder + kLogName).c_str(),
                                                               FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, 0, nullptr,
                                                               OPEN_ALWAYS,
                                                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                               nullptr));
    if (!file) return;
    // Appended to only when it is what it looks like: one plain file.
    if (!IsPlainSingleLinkFile(file.Get())) return;

    std::wstring text = line;
    text += L"\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
              &written, nullptr);
}

namespace CUtility {

void FileException(const CFileError& error) {
    wchar_t description[1025] = {};
    if (!error.GetErrorMessage(description, 1024)) return;
    WriteLog(L"[%s] %s", L"CUtility::FileException", description);
}

}  // namespace CUtility
