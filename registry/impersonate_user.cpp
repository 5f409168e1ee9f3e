#include "registry/impersonate_user.h"

#include <tlhelp32.h>

#include <cwchar>

#include "framework/handles.h"
#include "util/system_function.h"

namespace {

using QueryUserTokenFn = BOOL(WINAPI*)(ULONG, PHANDLE);

// WTSQueryUserToken is looked up when called: the library is already loaded from the
// system directory by then, and a platform without it just falls through to explorer.
// (Not kept in a function-local static: its guard would bring the runtime's exception
// support back into the launcher image.)
BOOL WINAPI QueryUserTokenLate(ULONG sessionId, PHANDLE token) {
    HMODULE wtsapi = LoadLibraryW(L"wtsapi32.dll");
    const QueryUserTokenFn bound =
        wtsapi == nullptr ? nullptr : AsFunction<QueryUserTokenFn>(GetProcAddress(wtsapi, "WTSQueryUserToken"));
    if (bound == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return bound(sessionId, token);
}

const TokenSources kPlatformSources = {QueryUserTokenLate, GetExplorerUserToken};
const TokenSources* g_sources = &kPlatformSources;

DWORD OwnSession() {
    DWORD session = kAnySession;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

}  // namespace

const TokenSources* SetTokenSourcesForTest(const TokenSources* sources) {
    const TokenSources* previous = g_sources;
    g_sources = sources != nullptr ? sources : &kPlatformSources;
    return previous;
}

CImpersonateUser::CImpersonateUser() : m_bImpersonating(FALSE) {
    if (GetSessionUserToken(m_hToken.Put(), kAnySession) && m_hToken &&
        ImpersonateLoggedOnUser(m_hToken.Get())) {
        m_bImpersonating = TRUE;
    }
}

CImpersonateUser::~CImpersonateUser() {
    if (m_bImpersonating) RevertToSelf();
}

BOOL GetSessionUserToken(HANDLE* token, DWORD sessionId) {
    if (sessionId == kAnySession) sessionId = OwnSession();
    if (g_sources->queryUserToken(sessionId, token)) return TRUE;
    return g_sources->explorerToken(token);
}

BOOL GetExplorerUserToken(HANDLE* token) {
    // The user of this session first: the first explorer of any session may belong to
    // someone else logged on to the machine. Session 0 has none, so a service still
    // finds the console user.
    std::vector<DWORD> ids;
    FindProcessIdsByName(L"explorer.exe", ids, OwnSession());
    if (ids.empty()) FindProcessIdsByName(L"explorer.exe", ids, kAnySession);
    if (ids.empty()) return FALSE;

    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, TRUE, ids.front()));
    UniqueHandle processToken;
    if (!process || !OpenProcessToken(process.Get(), TOKEN_ALL_ACCESS, processToken.Put())) return FALSE;
    return DuplicateTokenEx(processToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                            TokenPrimary, token);
}

BOOL FindProcessIdsByName(const wchar_t* name, std::vector<DWORD>& ids, DWORD sessionId) {
    ids.clear();
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return FALSE;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name) != 0) continue;
        DWORD session = kAnySession;
        if (sessionId == kAnySession ||
            (ProcessIdToSessionId(entry.th32ProcessID, &session) && session == sessionId)) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    return TRUE;
}
