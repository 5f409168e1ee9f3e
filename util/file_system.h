// Path and file helpers. Paths are UTF-16 with backslashes.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"

// TRUE when the attributes of path can be read (file or folder alike).
BOOL PathExists(const std::wstring& path);

// TRUE when path is a folder of its own: a directory that is no junction or link.
BOOL IsPlainFolder(const std::wstring& path);

// TRUE when the two texts are equal, letter case ignored the way the file system does.
bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b);

// The path the platform names for the open handle (links resolved, "\\?\" in front);
// empty when it cannot be had.
std::wstring GetFinalPath(HANDLE handle);

// Deletes what the handle (opened with DELETE access) stands for, whatever name it has by
// now; it goes when the last handle to it is closed.
BOOL DeleteByHandle(HANDLE handle);

// TRUE when finalPath (of an open handle) is name right inside the folder whose final path
// is folderFinalPath, letter case ignored. A handle opened by that path but ending up
// elsewhere reached another file: through its short 8.3 alias, or a link the platform does
// not show as one. FALSE when either final path is empty.
bool IsNamedIn(const std::wstring& finalPath, const std::wstring& folderFinalPath, const std::wstring& name);

// TRUE when the open file is what it looks like: one plain file, no reparse point, no
// folder, no other hard link to it.
bool IsPlainSingleLinkFile(HANDLE file);

// Opens folder (trailing backslashes ignored) as itself, a link not followed, without
// delete sharing: while the handle is held nobody can rename the folder away and put
// something else under its name. Listing it stays possible. Empty when it cannot be opened.
UniqueHandle HoldFolder(const std::wstring& folder);

// Creates folder (trailing backslashes ignored) with the given security attributes (null:
// the default) and returns it held as HoldFolder does, from the same call: nobody can put
// another folder in its place between the creation and the hold. Fails, with the thread's
// last error set, when anything of that name exists already (a link included).
UniqueHandle CreateHeldFolder(const std::wstring& folder, SECURITY_ATTRIBUTES* security);

// Opens name (no folder part) right inside the folder the handle holds, for appending,
// without sharing, made when missing, as CreateFileW with OPEN_ALWAYS and the reparse-point
// flag would by path, and leaves the same last error. The name is looked up in that very
// folder, whatever path leads to it by now. Empty when it cannot be opened.
UniqueHandle OpenForAppendIn(HANDLE folder, const std::wstring& name);

// Eight random hexadecimal digits from the system's generator, for names that another
// account must not guess ahead of time.
std::wstring RandomSuffix();

// Full path of the running executable; empty when it cannot be had.
std::wstring GetModulePath();

// TRUE only for a path that contains "ProgramData" (letter case as written) and is a
// mount-point reparse point (junction or volume mount point). Other paths are not
// looked at on disk.
BOOL IsMountPoint(const std::wstring& path);

// TRUE for a reparse-point tag that marks a mount point (junction).
inline bool IsMountPointTag(DWORD tag) { return tag == IO_REPARSE_TAG_MOUNT_POINT; }

// TRUE when "ProgramData" occurs in path, letter case as written.
bool IsGuardedPath(const std::wstring& path);

// Deletes a file: TRUE when it is gone or was never there; FALSE when the mount-point
// guard refused it or DeleteFileW failed (read-only files are not made writable).
BOOL SafeDeleteFile(const std::wstring& path);

// The same for an empty folder or a link to a folder, with RemoveDirectoryW.
BOOL SafeRemoveDirectory(const std::wstring& path);

// Deletes everything below folder, depth first, then folder itself; failures are passed
// over and what cannot be deleted stays with the folders above it. A reparse point
// (junction or symbolic link), folder itself included, is removed as a link and never
// entered, so nothing outside the tree is touched. Each child is opened as itself and held
// while it is looked at, emptied and deleted, so one swapped for a link meanwhile is never
// entered; a child whose handle ends up outside its folder (a link the platform does not
// show as one) is left in place. An empty path is refused.
void DeleteFolderTree(const std::wstring& folder);

// Cuts the last backslash and all after it, count times; a path without a backslash
// stays as it is.
void StripPathLevels(std::wstring& path, int count);
