// Where create finds the launcher image when --launcher is not given.
#pragma once

#include <string>

#include "tools/sfxpack/package/pe_image.h"

namespace sfxpack {

// The launcher image of that architecture built beside this sfxpack when it runs from its
// build tree, else the one installed with it (SFXPACK_INSTALLED_LAUNCHER, relative to the
// folder of the running executable, so an installation can be moved or unpacked anywhere;
// the x64 image in a folder "x64" beside the x86 one). Empty with *error when the running
// executable cannot be located.
std::string DefaultLauncherPath(sfx::PeArchitecture architecture, std::string* error);

}  // namespace sfxpack
