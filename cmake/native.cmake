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

# Installation: the tool, the launcher image from the Windows build, the signing wrapper.
install(TARGETS sfxpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(CODE "
  if(NOT EXISTS \"${SFX_LAUNCHER_IMAGE}\")
    message(FATAL_ERROR \"no launcher image at ${SFX_LAUNCHER_IMAGE}: build it first \"
                        \"(cmake --preset windows && cmake --build --preset windows)\")
  endif()")
install(FILES ${SFX_LAUNCHER_IMAGE} DESTINATION ${SFXPACK_DATA_DIR})
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/sign-package.sh DESTINATION ${SFXPACK_DATA_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sfxpack)
include(cmake/package.cmake)

# The Debian package, built with CPack and unpacked by the test: it needs the launcher image.
add_test(NAME debian_package
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-debian-package.sh ${CMAKE_BINARY_DIR} ${SFX_LAUNCHER_IMAGE}
          ${PROJECT_VERSION})
set_tests_properties(debian_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
