#pragma once

#include "app/single_instance.h"

// The guard of the whole run, constructed right after the application object.
extern CSingleInstance theInstanceGuard;
