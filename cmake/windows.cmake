# Cross build: the launcher, its tests, the test probe and sfxpack.exe.
enable_language(RC)

set(WINDOWS_LINK_FLAGS -static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_link_options(sfxpack PRIVATE ${WINDOWS_LINK_FLAGS})

# The manifest names the image's own architecture: Windows refuses to start a program whose
# manifest names another one.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SFX_MANIFEST_ARCH amd64)
else()
  set(SFX_MANIFEST_ARCH x86)
endif()
configure_file(res/launcher.manifest.in ${CMAKE_BINARY_DIR}/res/launcher.manifest @ONLY)
set_property(SOURCE res/launcher.rc APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/res/launcher.manifest)

add_library(launcher_core STATIC
  framework/win_app.cpp
  framework/string_resource.cpp
  framework/file.cpp
  util/log.cpp
  util/shell_functions.cpp
  util/system_paths.cpp
  util/file_system.cpp
  util/folder_tree.cpp
  util/folder_security.cpp
  util/work_temp.cpp
  package/unpack.cpp
  package/free_space.cpp
  package/work_folder.cpp
  package/running_image.cpp
  app/launch_command.cpp
  app/batch_output.cpp
  app/machine_environment.cpp
  app/child_wait.cpp
  app/single_instance.cpp
  app/library_preload.cpp
  util/os_version.cpp
  util/time_stamp.cpp
  registry/impersonate_user.cpp
  registry/registry.cpp
  registry/product_key.cpp
  app/file_name_code.cpp)
target_include_directories(launcher_core PUBLIC ${CMAKE_SOURCE_DIR})
# Compiled as it goes into the launcher image, so the tests try the very same code.
target_compile_options(launcher_core PRIVATE ${PROJECT_WARNINGS} ${SFX_LEAN_COMPILE_OPTIONS})
target_link_libraries(launcher_core PUBLIC sfxformat shell32 user32 advapi32)

# The launcher's runtime (framework/lean_runtime.cpp) and lean flags, for the launcher and
# the program that tests that runtime.
function(use_lean_runtime target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/framework/lean_runtime.cpp)
  target_compile_options(${target} PRIVATE ${PROJECT_WARNINGS} ${SFX_LEAN_COMPILE_OPTIONS})
  target_link_options(${target} PRIVATE -municode ${WINDOWS_LINK_FLAGS} ${SFX_LEAN_LINK_OPTIONS})
endfunction()

# The launcher. Always stripped: an unstripped image keeps its symbol table behind the
# last section, exactly where the package goes. The link map tells the tests which parts
# of the runtime libraries went in.
add_executable(launcher WIN32
  app/main.cpp
  app/app_globals.cpp
  app/unpack_file_app.cpp
  res/launcher.rc)
set_target_properties(launcher PROPERTIES OUTPUT_NAME VADuVavuVazo)
target_include_directories(launcher PRIVATE ${CMAKE_BINARY_DIR}/res)
use_lean_runtime(launcher)
target_link_options(launcher PRIVATE -s -Wl,-Map=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/VADuVavuVazo.map)
target_link_libraries(launcher PRIVATE launcher_core)

add_executable(lean_runtime_probe tests/probe/lean_runtime_probe.cpp)
use_lean_runtime(lean_runtime_probe)

# A small program the tests start in the launcher's place.
add_executable(probe tests/probe/probe.cpp)
target_compile_options(probe PRIVATE ${PROJECT_WARNINGS})
target_link_options(probe PRIVATE -municode ${WINDOWS_LINK_FLAGS})

# A library the tests plant beside the launcher under system libraries' names.
add_library(probe_library SHARED tests/probe/probe_library.cpp)
set_target_properties(probe_library PROPERTIES PREFIX "" OUTPUT_NAME probe_library)
target_compile_options(probe_library PRIVATE ${PROJECT_WARNINGS})
target_link_options(probe_library PRIVATE -s ${WINDOWS_LINK_FLAGS})

set(TEST_SUPPORT_SOURCES
  tests/support/test_folder.cpp
  tests/support/launcher_run.cpp
  tests/support/unix_link.cpp
  tests/support/launcher_fixture.cpp
  tests/support/wine_version.cpp
  tests/support/registry_fixture.cpp)

# A Windows test program of the sources given, with the shared test support, linked like the
# launcher and with the package tool's code, whose writer packs the test packages; it needs
# the launcher and the probe built beside it.
function(add_windows_test_program name)
  add_executable(${name} ${ARGN} ${TEST_SUPPORT_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE launcher_core sfxpack_core GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_options(${name} PRIVATE ${WINDOWS_LINK_FLAGS})
  add_dependencies(${name} launcher probe probe_library lean_runtime_probe)
endfunction()

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_windows_test_program(unit_tests ${UNIT_TEST_SOURCES} res/launcher.rc)
target_include_directories(unit_tests PRIVATE ${CMAKE_BINARY_DIR}/res)
add_test(NAME unit_tests COMMAND unit_tests)

file(GLOB E2E_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
add_windows_test_program(e2e_tests ${E2E_TEST_SOURCES})
add_test(NAME e2e_tests COMMAND e2e_tests --gtest_filter=-SignedPackageTest.*)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The x86 launcher runs under WOW64 in Wine's 64-bit prefix; once more in a 32-bit
  # prefix, where it does not.
  set_tests_properties(e2e_tests PROPERTIES ENVIRONMENT "SFX_EXPECT_WOW64=1")
  add_test(NAME e2e_tests_32bit_prefix
    COMMAND e2e_tests --gtest_filter=StartupTest.TheInterpreterMatchesTheArchitecture)
  set_tests_properties(e2e_tests_32bit_prefix PROPERTIES ENVIRONMENT
    "SFX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix32;WINEARCH=win32;SFX_EXPECT_WOW64=0")
else()
  set_tests_properties(e2e_tests PROPERTIES ENVIRONMENT "SFX_EXPECT_WOW64=0")
endif()

# Message boxes, on a virtual X display of their own.
file(GLOB UI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/ui/*.cpp)
add_windows_test_program(ui_tests ${UI_TEST_SOURCES})
add_test(NAME ui_tests
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-xvfb.sh ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:ui_tests>)
set_tests_properties(ui_tests PROPERTIES ENVIRONMENT "SFX_FRESH_WINESERVER=1")

# The time conversions once east of Greenwich without daylight saving and once in a zone
# with it (Wine and the C runtime both read TZ; these POSIX forms mean the same to both).
add_test(NAME time_zone_east COMMAND unit_tests --gtest_filter=TimeStampTest.*)
set_tests_properties(time_zone_east PROPERTIES ENVIRONMENT "TZ=CST-8")
add_test(NAME time_zone_daylight_saving COMMAND unit_tests --gtest_filter=TimeStampTest.*)
set_tests_properties(time_zone_daylight_saving PROPERTIES ENVIRONMENT "TZ=EST5EDT")

# A package signed on the build machine with a throw-away certificate, run under Wine.
add_test(NAME signed_package
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-signed-package.sh ${CMAKE_BINARY_DIR})

# make bench: measurements, not a test; bench_floor does the launcher's whole-process jobs
# the plain way, as a GUI program on the launcher's runtime.
add_windows_test_program(bench tests/bench/bench.cpp)
set_target_properties(bench PROPERTIES EXCLUDE_FROM_ALL ON)
add_executable(bench_floor WIN32 tests/bench/bench_floor.cpp)
use_lean_runtime(bench_floor)
target_link_libraries(bench_floor PRIVATE launcher_core)
set_target_properties(bench_floor PROPERTIES EXCLUDE_FROM_ALL ON)
add_dependencies(bench bench_floor)

# Installation: sfxpack.exe with the launcher image beside it, where it looks for it.
install(TARGETS sfxpack launcher RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
