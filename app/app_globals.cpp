// The process's global objects, in one translation unit so that their construction
// order is fixed: the application object first.
#include "app/unpack_file_app.h"

CUnPackFileApp theApp;
