# What both mingw-w64 cross toolchains share; each sets SFX_MINGW_TRIPLE before including it.
# posix thread model: GoogleTest needs std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SFX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SFX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SFX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SFX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the Windows executables through Wine, in a prefix of the build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

# The launcher image is built lean: no exception support (framework/lean_runtime.cpp says
# why), small code, and every function and datum nothing refers to dropped at the link.
# The launcher's code is compiled so (the tests link those same objects); only the launcher
# and the program that tests its runtime are linked so. The tests and sfxpack keep the
# full runtime, exceptions and all.
set(SFX_LEAN_COMPILE_OPTIONS -Os -fno-exceptions -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections)
set(SFX_LEAN_LINK_OPTIONS -Wl,--gc-sections)
