#include <windows.h>

#include "framework/win_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return AfxWinMain(); }
