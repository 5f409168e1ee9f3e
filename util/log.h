// The diagnostic log: one UTF-16 line per call in "unpack.log" in the temporary
// directory, the same line to the debugger output. It never reports a failure.
#pragma once

#include <string>

class CFileError;

// Appends one line "[pid]time  message (Last=code)". format is a wide printf format in
// the Windows convention ("%s" takes a wide string) whose first conversion takes a tag
// "Class::Operation"; the tag and the format's values follow. The message is cut to
// 1022 characters; "Last=" shows the caller's last-error code, which is read first.
void WriteLog(const wchar_t* format, ...);

// Full path of the log file: the temporary directory + "unpack.log", or the machine's
// "%SystemRoot%\Temp\unpack.log" when the temporary directory cannot be had or could send
// the writes elsewhere (a link or mount point on its way, not a folder on a local drive;
// see WhyRedirecting in util/work_temp.h). Decided anew only when the temporary directory
// changes; the user's folder is then held, and each line is made in that very folder.
std::wstring GetLogFilePath();

// Appends line and CR LF to the log file, opened exclusively for this one line. The line
// is dropped when the file cannot be opened, or when it is a link (symbolic link, junction,
// or a file with more than one hard link) through which another account could aim the
// writes of an elevated process at a file of its choosing.
void AppendLogLine(const std::wstring& line);

namespace CUtility {
// Logs the description of a failed file operation, "[CUtility::FileException] <text>".
void FileException(const CFileError& error);
}  // namespace CUtility
