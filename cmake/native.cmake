# Native build: the package tool's own tests.
file(GLOB SFXPACK_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/sfxpack/*.cpp)
add_executable(sfxpack_tests ${SFXPACK_TEST_SOURCES})
target_link_libraries(sfxpack_tests PRIVATE sfxpack_cli GTest::gtest_main)
target_include_directories(sfxpack_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(sfxpack_tests PRIVATE ${PROJECT_WARNINGS})
target_compile_definitions(sfxpack_tests PRIVATE
  SFXPACK_EXE="$<TARGET_FILE:sfxpack>"
  SFXPACK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  SFXPACK_BUILT_LAUNCHER="${SFX_LAUNCHER_IMAGE}"
  SFXPACK_BUILT_LAUNCHER_X64="${SFX_LAUNCHER_IMAGE_X64}")
add_dependencies(sfxpack_tests sfxpack)
add_test(NAME sfxpack_tests COMMAND sfxpack_tests)

# install-deps's decision whether this kernel runs 32-bit code, with the probe stubbed.
add_test(NAME host_arch COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/host_arch_test.sh)

# Installation: the tool, both launcher images from the Windows builds (the x64 one in a
# folder of its own beside the x86 one, where create looks for it), the signing wrapper.
install(TARGETS sfxpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Installing stops before an image is copied when either is missing, naming its preset.
function(sfx_require_launcher_image image preset)
  install(CODE "
    if(NOT EXISTS \"${image}\")
      message(FATAL_ERROR \"no launcher image at ${image}: build it first \"
                          \"(cmake --preset ${preset} && cmake --build --preset ${preset})\")
    endif()")
endfunction()
sfx_require_launcher_image("${SFX_LAUNCHER_IMAGE}" windows)
sfx_require_launcher_image("${SFX_LAUNCHER_IMAGE_X64}" windows-x64)
# Under the name create looks for, whatever the cache paths name.
install(FILES ${SFX_LAUNCHER_IMAGE} DESTINATION ${SFXPACK_DATA_DIR} RENAME VADuVavuVazo.exe)
install(FILES ${SFX_LAUNCHER_IMAGE_X64} DESTINATION ${SFXPACK_DATA_DIR}/x64
        RENAME VADuVavuVazo.exe)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/sign-package.sh DESTINATION ${SFXPACK_DATA_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sfxpack)
include(cmake/package.cmake)

# The Debian package, built with CPack and unpacked by the test: it needs both launcher images.
add_test(NAME debian_package
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-debian-package.sh ${CMAKE_BINARY_DIR} ${SFX_LAUNCHER_IMAGE}
          ${SFX_LAUNCHER_IMAGE_X64} ${PROJECT_VERSION})
set_tests_properties(debian_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
