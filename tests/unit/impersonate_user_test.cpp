#include <gtest/gtest.h>

#include "support/scoped_seam.h"

#include <memory>

#include <string>

#include "registry/impersonate_user.h"
#include "support/launcher_run.h"
#include "support/test_folder.h"

namespace {

// Records which token source was asked, in order; the sources answer as told.
struct Recorder {
    static std::string calls;
    static bool wtsAnswers;
    static bool explorerAnswers;
    static HANDLE OwnToken() {
        HANDLE process = nullptr, duplicate = nullptr;
        OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process);
        DuplicateTokenEx(process, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &duplicate);
        CloseHandle(process);
        return duplicate;
    }
    static BOOL WINAPI Wts(ULONG, PHANDLE token) {
        calls += "wts ";
        if (!wtsAnswers) return FALSE;
        *token = OwnToken();
        return TRUE;
    }
    static BOOL Explorer(HANDLE* token) {
        calls += "explorer ";
        if (!explorerAnswers) return FALSE;
        *token = OwnToken();
        return TRUE;
    }
};
std::string Recorder::calls;
bool Recorder::wtsAnswers = false;
bool Recorder::explorerAnswers = false;

// The probe running under an explorer's name until the object goes.
class FakeExplorer {
public:
    explicit FakeExplorer(const wchar_t* fileName) {
        const std::wstring path = m_folder / fileName;
        CopyFileW(ProbePath().c_str(), path.c_str(), FALSE);
        const std::wstring release = L"sfx-explorer-" + std::to_wstring(GetCurrentProcessId());
        m_release = CreateProbeEvent(release);
        ResetEvent(m_release);
        m_process = StartProcess(Quote(path), {{L"PROBE_WAIT", release}});
    }
    ~FakeExplorer() {
        SetEvent(m_release);
        if (m_process != nullptr) {
            WaitForSingleObject(m_process, 10000);
            CloseHandle(m_process);
        }
        CloseHandle(m_release);
    }
    DWORD Pid() const { return m_process != nullptr ? GetProcessId(m_process) : 0; }

private:
    TestFolder m_folder;
    HANDLE m_release = nullptr;
    HANDLE m_process = nullptr;
};

class ImpersonateUserTest : public ::testing::Test {
protected:
    const TokenSources sources = {Recorder::Wts, Recorder::Explorer};
    std::unique_ptr<ScopedSeam<const TokenSources*>> recorders;
    void SetUp() override {
        Recorder::calls.clear();
        recorders = std::make_unique<ScopedSeam<const TokenSources*>>(SetTokenSourcesForTest, &sources);
    }
    void TearDown() override { recorders.reset(); }
    static bool ThreadHasToken() {
        HANDLE token = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
        CloseHandle(token);
        return true;
    }
};

TEST_F(ImpersonateUserTest, TheTerminalServicesAreAskedFirstAndExplorerOnlyWhenTheyFail) {
    Recorder::wtsAnswers = true;
    {
        CImpersonateUser scope;
        EXPECT_TRUE(scope.IsImpersonating());
        EXPECT_TRUE(ThreadHasToken());
    }
    EXPECT_EQ(Recorder::calls, "wts ");
    EXPECT_FALSE(ThreadHasToken()) << "the scope reverts when it ends";

    Recorder::calls.clear();
    Recorder::wtsAnswers = false;
    Recorder::explorerAnswers = true;
    {
        CImpersonateUser scope;
        EXPECT_TRUE(scope.IsImpersonating());
    }
    EXPECT_EQ(Recorder::calls, "wts explorer ");
    EXPECT_FALSE(ThreadHasToken());
}

TEST_F(ImpersonateUserTest, WithoutAnyTokenTheScopeIsInert) {
    Recorder::wtsAnswers = false;
    Recorder::explorerAnswers = false;
    CImpersonateUser scope;
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_FALSE(ThreadHasToken());
}

TEST(FindProcessIdsByNameTest, MatchesTheExecutableNameInAnyCaseAndFiltersBySession) {
    std::vector<DWORD> any, own, other;
    DWORD pid = 0;
    {
        FakeExplorer explorer(L"EXPLORER.EXE");
        pid = explorer.Pid();
        ASSERT_NE(pid, 0u);
        DWORD session = 0;
        ProcessIdToSessionId(GetCurrentProcessId(), &session);
        EXPECT_TRUE(FindProcessIdsByName(L"explorer.exe", any, kAnySession));
        EXPECT_TRUE(FindProcessIdsByName(L"Explorer.Exe", own, session));
        EXPECT_TRUE(FindProcessIdsByName(L"explorer.exe", other, session + 4242));
    }
    EXPECT_NE(std::find(any.begin(), any.end(), pid), any.end());
    EXPECT_NE(std::find(own.begin(), own.end(), pid), own.end());
    EXPECT_TRUE(other.empty());
}

// Wine has one session, so a second user's explorer in another session cannot be shown;
// with an explorer of this session running its token is the one taken.
TEST(ExplorerTokenTest, TakesTheTokenOfAnExplorerRunningInThisSession) {
    HANDLE token = nullptr;
    BOOL got = FALSE;
    {
        FakeExplorer explorer(L"explorer.exe");
        ASSERT_NE(explorer.Pid(), 0u);
        got = GetExplorerUserToken(&token);
    }
    ASSERT_TRUE(got);
    TOKEN_TYPE type = TokenImpersonation;
    DWORD size = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenType, &type, sizeof(type), &size));
    EXPECT_EQ(type, TokenPrimary);
    CloseHandle(token);
}

}  // namespace
