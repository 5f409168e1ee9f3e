// Where create finds the launcher image when --launcher is not given.
#pragma once

#include <string>

namespace sfxpack {

// The launcher image built beside this sfxpack when it runs from its build tree, else the
// one installed with it (SFXPACK_INSTALLED_LAUNCHER, relative to the folder of the running
// executable, so an installation can be moved or unpacked anywhere). Empty with *error
// when the running executable cannot be located.
std::string DefaultLauncherPath(std::string* error);

}  // namespace sfxpack
