// Helpers shared by the Windows test programs: private folders, file bytes, the files
// of the build tree.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder below the system temporary directory, deleted with all in it at the end.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // Path with a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

// Makes GetTempPathW of this process answer folder (with its trailing backslash) while the
// object lives.
class ScopedTempDirectory {
public:
    explicit ScopedTempDirectory(const std::wstring& folder);
    ~ScopedTempDirectory();

private:
    std::wstring m_oldTmp;
    std::wstring m_oldTemp;
};

// Deletes a tree without any of the code under test.
void RemoveTree(const std::wstring& path);

std::vector<uint8_t> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::wstring& path, const std::string& text);
// A file of UTF-16LE text without byte-order mark, as the launcher's log is written.
std::wstring ReadUtf16(const std::wstring& path);
// Lines of a text split at CR LF; a text ending in CR LF has no empty last line.
std::vector<std::wstring> SplitLines(const std::wstring& text);

// Folder of the running test program, with a trailing backslash; the launcher, the probe
// and sfxpack.exe are built beside it.
std::wstring BinaryFolder();
std::wstring LauncherPath();
std::wstring ProbePath();

std::string Narrow(const std::wstring& text);  // UTF-8
std::wstring Widen(const std::string& text);   // from UTF-8
bool FileExists(const std::wstring& path);
// Messages of the log lines in a log file, without process id, time and last-error code.
std::vector<std::wstring> LogMessages(const std::wstring& logPath);
// Names in a folder, one a line, for failure messages.
std::wstring ListFolder(const std::wstring& folder);
