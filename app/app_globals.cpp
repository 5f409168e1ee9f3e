// The process's global objects, in one translation unit so that their order is fixed:
// the application object first (its constructor hardens the library search path before
// anything else runs), then the single-instance guard, which is destroyed first.
#include "app/app_globals.h"

#include "app/unpack_file_app.h"

CUnPackFileApp theApp(&theInstanceGuard);
CSingleInstance theInstanceGuard(kInstanceMutexName);
