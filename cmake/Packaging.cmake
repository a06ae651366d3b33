# What `cmake --install` and `cpack` give a user: quorvane-capture and the
# converter Pcm2Wav side by side (the tool looks for the converter beside
# itself), on Linux the device emulator with them (to try the tool before
# a device is at hand), the README, and what the user must know about
# third-party code. Test programs and benchmarks have no install rule, so
# they stay out of every package.
#
#   Windows (cross-build): a zip with everything in its top folder, which is
#   what a user unzips and runs from.
#   Linux: a tar.gz laid out like an install prefix (bin/, share/doc/), so the
#   same rules serve `cmake --install` into /usr/local; and a Debian package
#   of the same files under /usr, whose dependencies dpkg-shlibdeps reads
#   from what the programs link to, so that `apt install ./FILE.deb` brings
#   them.
include(GNUInstallDirs)

if(WIN32)
  set(QUORVANE_INSTALL_BINDIR .)
  set(QUORVANE_INSTALL_DOCDIR .)
  # README.txt rather than .md: a plain Windows opens .txt with a double-click.
  set(QUORVANE_README_NAME README.txt)
else()
  set(QUORVANE_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(QUORVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PROJECT_NAME})
  set(QUORVANE_README_NAME README.md)
endif()

install(TARGETS quorvane-capture Pcm2Wav RUNTIME DESTINATION ${QUORVANE_INSTALL_BINDIR})
if(TARGET quorvane-device-emulator)
  install(TARGETS quorvane-device-emulator RUNTIME DESTINATION ${QUORVANE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${QUORVANE_INSTALL_DOCDIR} RENAME ${QUORVANE_README_NAME})

# quorvane_install_notice(<file> <name in the package> <what it covers> <variable>)
#
# Installs a licence notice taken from the build machine. A notice that was
# not found does not stop configuring or building, but makes the install (and
# so cpack) fail: a package without it must not be published.
function(quorvane_install_notice file name covers variable)
  if(file AND EXISTS "${file}")
    install(FILES "${file}" DESTINATION ${QUORVANE_INSTALL_DOCDIR}/licenses RENAME ${name})
  else()
    install(CODE "message(FATAL_ERROR \"No licence notice for ${covers} (looked for '${file}'): \
give its file with -D${variable}=PATH when configuring\")")
  endif()
endfunction()

# The copyright file that Debian installed with the package owning <library>
# of the compiler, or "" when that cannot be told (not Debian, unknown file).
function(quorvane_debian_copyright_of library out)
  set(${out} "" PARENT_SCOPE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    return()
  endif()
  # dpkg records the path without the compiler's "../.." steps.
  file(REAL_PATH "${path}" path)
  execute_process(COMMAND dpkg-query -S "${path}"
    OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT owner MATCHES "^([^:,]+)")
    return()
  endif()
  set(copyright /usr/share/doc/${CMAKE_MATCH_1}/copyright)
  if(EXISTS ${copyright})
    set(${out} ${copyright} PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  # The .exe files are linked statically (see QuorvaneTarget.cmake), so they
  # carry cJSON (quorvane-capture only), the GCC runtime libraries (libstdc++,
  # libgcc: GPL with the GCC Runtime Library Exception) and the MinGW-w64 C
  # runtime with winpthreads, whose licences ask for their notices to come
  # with the binaries. GoogleTest is linked into test programs only.
  #
  # Each notice is found anew at every configure (a moved dependency prefix
  # must not leave a stale path behind) unless it is given with -D.
  set(QUORVANE_CJSON_LICENSE "" CACHE FILEPATH "cJSON's licence file (empty: found automatically)")
  set(QUORVANE_GCC_RUNTIME_LICENSE "" CACHE FILEPATH
    "Licence notice of the cross compiler's libstdc++ and libgcc (empty: found automatically)")
  set(QUORVANE_MINGW_RUNTIME_LICENSE "" CACHE FILEPATH
    "Licence notice of the MinGW-w64 C runtime and winpthreads (empty: found automatically)")
  set(quorvane_cjson_notice "${QUORVANE_CJSON_LICENSE}")
  if(NOT quorvane_cjson_notice)
    # The one the Windows dependency build put into its prefix next to the
    # library (scripts/build-windows-deps.sh).
    get_filename_component(quorvane_cjson_prefix "${cJSON_DIR}/../../.." ABSOLUTE)
    set(quorvane_cjson_notice "${quorvane_cjson_prefix}/share/licenses/cjson/LICENSE")
  endif()
  set(quorvane_gcc_notice "${QUORVANE_GCC_RUNTIME_LICENSE}")
  if(NOT quorvane_gcc_notice)
    quorvane_debian_copyright_of(libstdc++.a quorvane_gcc_notice)
  endif()
  set(quorvane_mingw_notice "${QUORVANE_MINGW_RUNTIME_LICENSE}")
  if(NOT quorvane_mingw_notice)
    quorvane_debian_copyright_of(libwinpthread.a quorvane_mingw_notice)
  endif()

  quorvane_install_notice("${quorvane_cjson_notice}" cJSON.txt cJSON QUORVANE_CJSON_LICENSE)
  quorvane_install_notice("${quorvane_gcc_notice}" GCC-runtime-libraries.txt
    "the GCC runtime libraries" QUORVANE_GCC_RUNTIME_LICENSE)
  quorvane_install_notice("${quorvane_mingw_notice}" MinGW-w64-runtime.txt
    "the MinGW-w64 runtime" QUORVANE_MINGW_RUNTIME_LICENSE)
else()
  # cJSON stays a shared library of the system here, as everything else the
  # Linux build links (the C and C++ runtimes) is: the distribution keeps it
  # patched, and bundling it would need a second copy and a run path. The
  # package says so instead; scripts/check-packages.sh compares this list
  # with what the programs really need.
  set(QUORVANE_LINUX_RUNTIME_LIBRARIES
    "libcjson.so.1    cJSON (Debian and Ubuntu package libcjson1)"
    "libstdc++.so.6   GNU C++ library (libstdc++6)"
    "libgcc_s.so.1    GCC support library (libgcc-s1)"
    "libm.so.6        C math library (libc6)"
    "libc.so.6        C library (libc6)")
  list(JOIN QUORVANE_LINUX_RUNTIME_LIBRARIES "\n  " quorvane_library_lines)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/DEPENDENCIES.txt CONTENT
"quorvane-capture, Pcm2Wav and quorvane-device-emulator use these shared
libraries of the system:

  ${quorvane_library_lines}

On Debian and Ubuntu, the one that may be missing is installed with
  sudo apt install libcjson1
(the Debian package quorvane-capture_*.deb brings it by itself).
" @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/DEPENDENCIES.txt DESTINATION ${QUORVANE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Provisions a four-channel audio device over a serial port and receives its recording over TCP")
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
  # quorvane-capture_1.0.0_amd64.deb, as Debian names its packages.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "quorvane-capture developers")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
quorvane-capture joins the device to a Wi-Fi network through its serial
port, receives its four-channel recording over TCP port 8888, stores it as
WAV files (with the converter Pcm2Wav) and checks each microphone's levels.
quorvane-device-emulator plays such a device on a pseudo-terminal.")
endif()
# Debug information stays in the build folder; users get stripped programs.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Packages in a folder of their own, so that a script finds exactly them.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# A source package holds the sources, not build folders or Git's data.
# (Regular expressions, read once more by CPack: a dot is escaped twice.)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/")
include(CPack)
