#include "app/launch_command.h"

#include <cwchar>

std::wstring InterpreterPath(bool useSysnative, const std::wstring& windowsDirectory,
                             const std::wstring& systemDirectory) {
    constexpr size_t kMaxPath = MAX_PATH - 1;
    if (useSysnative && !windowsDirectory.empty()) {
        const std::wstring sysnative = windowsDirectory + L"\\sysnative\\cmd.exe";
        if (sysnative.size() <= kMaxPath) return sysnative;
    }
    if (!systemDirectory.empty()) {
        const std::wstring system = systemDirectory + L"\\cmd.exe";
        if (system.size() <= kMaxPath) return system;
    }
    return L"cmd.exe";
}

std::wstring BuildBatchParameters(const std::wstring& logFilePath) {
    return L"/c run.bat > \"" + logFilePath + L".txt\"";
}

namespace {

std::wstring HalveBlankRuns(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == L' ' && i + 1 < text.size() && text[i + 1] == L' ') ++i;
    }
    return out;
}

}  // namespace

std::wstring BuildArgumentParameters(const std::wstring& rawCommandLine, int argc,
                                     const wchar_t* const* argv) {
    // The first argument starts no earlier than just after the program name, so the
    // blank that ends it lies at or after this index in the raw text.
    const size_t searchStart = 1 + wcslen(argv[0]) + wcslen(argv[1]);
    const size_t blank =
        searchStart < rawCommandLine.size() ? rawCommandLine.find(L' ', searchStart) : std::wstring::npos;

    if (blank == std::wstring::npos) {
        std::wstring joined;
        for (int i = 2; i < argc; ++i) {
            joined += argv[i];
            joined += L' ';
        }
        return joined;
    }

    std::wstring tail = rawCommandLine.substr(blank + 1);
    const size_t first = tail.find_first_not_of(L' ');
    if (first == std::wstring::npos) return std::wstring();
    tail.erase(0, first);
    tail.erase(tail.find_last_not_of(L' ') + 1);
    return HalveBlankRuns(tail);
}
