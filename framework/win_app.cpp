#include "framework/win_app.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(const wchar_t* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
    // There is never a main window, so the loop has nothing to wait for.
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 0;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
