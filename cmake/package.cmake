# The Debian package of sfxpack: 'make package' writes build/sfxpack_VERSION_ARCH.deb.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE SFX_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT SFX_DEB_ARCH)
  set(SFX_DEB_ARCH amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME sfxpack_${PROJECT_VERSION}_${SFX_DEB_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "makes, lists, verifies, signs and extracts self-extracting Windows packages")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "sfxpack appends files to the VADuVavuVazo.exe launcher image (x86 or x64, both\n\
installed with it), which unpacks and runs them on Windows; it also shows, checks, signs\n\
(with osslsigncode) and extracts such packages.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "Seed bbcfa292 maintainers <maintainers@users.noreply.c-seed-bbcfa292.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SFX_DEB_ARCH})
# The C and C++ runtimes from the binary; osslsigncode signs and verifies, openssl makes
# test certificates.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "osslsigncode, openssl")
include(CPack)
