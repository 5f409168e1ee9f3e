// Acting as the user logged on to this process's session.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/handles.h"

// For the scope's life the calling thread impersonates the session's user, when a token
// for that user can be had; otherwise it stays inert and the thread keeps its identity.
class CImpersonateUser {
public:
    CImpersonateUser();
    virtual ~CImpersonateUser();
    CImpersonateUser(const CImpersonateUser&) = delete;
    CImpersonateUser& operator=(const CImpersonateUser&) = delete;

    BOOL IsImpersonating() const { return m_bImpersonating; }

private:
    BOOL m_bImpersonating;
    UniqueHandle m_hToken;
};

constexpr DWORD kAnySession = 0xFFFFFFFF;

// A primary token of the user of sessionId (kAnySession: this process's session), from the
// terminal services or, failing that, from that user's shell. The caller closes it.
BOOL GetSessionUserToken(HANDLE* token, DWORD sessionId);

// A primary token duplicated from a running "explorer.exe": one in this process's session
// when there is one, else the first in any session. The caller closes it.
BOOL GetExplorerUserToken(HANDLE* token);

// Ids of the processes whose executable is name (letter case ignored), in snapshot order,
// only those of sessionId unless it is kAnySession. FALSE only when no snapshot was had.
BOOL FindProcessIdsByName(const wchar_t* name, std::vector<DWORD>& ids, DWORD sessionId);

// The two token sources in the order they are tried; tests put recorders in their place.
struct TokenSources {
    BOOL(WINAPI* queryUserToken)(ULONG sessionId, PHANDLE token);
    BOOL (*explorerToken)(HANDLE* token);
};
// null: the real ones again. Returns the sources that were in place.
const TokenSources* SetTokenSourcesForTest(const TokenSources* sources);
