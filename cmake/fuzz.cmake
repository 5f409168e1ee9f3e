# The fuzz target over the package tool's reading code and the shared name rules:
# libFuzzer with the address and undefined-behaviour sanitizers, built natively with clang.
set(FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -g -O1)
target_compile_options(sfxpack_core PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer-no-link)

add_executable(package_fuzzer tests/fuzz/package_fuzzer.cpp)
target_link_libraries(package_fuzzer PRIVATE sfxpack_core)
target_compile_options(package_fuzzer PRIVATE ${PROJECT_WARNINGS} ${FUZZ_FLAGS} -fsanitize=fuzzer)
target_link_options(package_fuzzer PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)

add_executable(make_seeds tests/fuzz/make_seeds.cpp)
target_link_libraries(make_seeds PRIVATE sfxpack_core)
target_include_directories(make_seeds PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(make_seeds PRIVATE ${PROJECT_WARNINGS})
