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
    return L"/D /E:ON /V:OFF /c run.bat > \"" + logFilePath + L".txt\"";
}

std::wstring ResolveProgram(const std::wstring& name, const std::wstring& workFolder,
                            const std::wstring& systemDirectory) {
    if (name.find_first_of(L"\\/:") != std::wstring::npos) return name;
    if (name.empty() || name == L"." || name == L"..") return std::wstring();
    std::wstring candidates[2] = {name};
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) candidates[1] = name + L".exe";
    for (const std::wstring& folder : {workFolder, systemDirectory}) {
        if (folder.empty()) continue;
        const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
        for (const std::wstring& candidate : candidates) {
            if (candidate.empty()) continue;
            const DWORD attributes = GetFileAttributesW((base + candidate).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                return base + candidate;
            }
        }
    }
    return std::wstring();
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

// Index just behind the first argument in the raw command line (its end when there is none).
size_t EndOfFirstArgument(const std::wstring& raw) {
    size_t i = 0;
    // The program name: up to the next quotation mark when quoted (no escapes in it), else
    // up to the first blank or tab.
    if (i < raw.size() && raw[i] == L'"') {
        const size_t close = raw.find(L'"', 1);
        i = close == std::wstring::npos ? raw.size() : close + 1;
    } else {
        while (i < raw.size() && raw[i] != L' ' && raw[i] != L'\t') ++i;
    }
    while (i < raw.size() && (raw[i] == L' ' || raw[i] == L'\t')) ++i;

    // The first argument: it ends at a blank or tab outside quotation marks. 2n backslashes
    // before a quotation mark leave it a quote, 2n+1 make it literal; inside quotes a doubled
    // quotation mark is a literal one.
    bool quoted = false;
    while (i < raw.size()) {
        const wchar_t c = raw[i];
        if (!quoted && (c == L' ' || c == L'\t')) break;
        if (c == L'\\') {
            size_t backslashes = 0;
            while (i < raw.size() && raw[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < raw.size() && raw[i] == L'"' && backslashes % 2 == 1) ++i;
            continue;
        }
        if (c == L'"') {
            if (quoted && i + 1 < raw.size() && raw[i + 1] == L'"') {
                i += 2;
                continue;
            }
            quoted = !quoted;
        }
        ++i;
    }
    return i;
}

}  // namespace

std::wstring BuildArgumentParameters(const std::wstring& rawCommandLine, int argc,
                                     const wchar_t* const* argv) {
    // The first argument is found by the rules that split the command line into argv, so
    // a quoted program name or a short or empty first argument cannot shift it.
    const size_t searchStart = EndOfFirstArgument(rawCommandLine);
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
