// The small application framework the launcher is written against: one global
// application object whose InitInstance does the work, driven by AfxWinMain.
#pragma once

#include <windows.h>

class CWinApp {
public:
    // Registers this object as the process's application; appName may be null.
    explicit CWinApp(const wchar_t* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Does the application's work. TRUE enters the run phase, FALSE skips it.
    virtual BOOL InitInstance();
    // Message loop; with no main window it posts a quit request with code 0 at once.
    virtual int Run();
    // Returns the process exit code.
    virtual int ExitInstance();

    const wchar_t* m_pszAppName;
};

// The registered application object, or null before one is constructed.
CWinApp* AfxGetApp();

// Drives the application object: InitInstance, then Run when it returned TRUE, else
// ExitInstance. Returns the process exit code (0 on every path of this application).
int AfxWinMain();
