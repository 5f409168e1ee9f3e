# Native build: the package tool's own tests.
file(GLOB SFXPACK_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/sfxpack/*.cpp)
add_executable(sfxpack_tests ${SFXPACK_TEST_SOURCES})
target_link_libraries(sfxpack_tests PRIVATE sfxpack_cli sfxformat GTest::gtest_main)
target_compile_definitions(sfxpack_tests PRIVATE
  SFXPACK_EXE="$<TARGET_FILE:sfxpack>"
  SFXPACK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(sfxpack_tests sfxpack)
add_test(NAME sfxpack_tests COMMAND sfxpack_tests)
