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

std::wstring GetLogFilePath() {
    const std::wstring temp = GetTempDirectory();
    if (!temp.empty()) return temp + L"unpack.log";
    return GetWindowsDirectoryPath() + L"\\Temp\\unpack.log";
}

void AppendLogLine(const std::wstring& line) {
    const std::wstring path = GetLogFilePath();
    // No sharing: while anyone else has the file open the line is dropped rather than
    // interleaved. The reparse-point flag opens a link as itself so it can be refused.
    UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, 0,
                                  nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
