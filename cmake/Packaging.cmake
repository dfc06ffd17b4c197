# The Debian package kxsetup_<version>_amd64.deb: kxpack, the setup program
# of both editions as its stubs, a man page, bash completion and the
# product-folder reference. `cmake --build build/native --target package`.
#
# The stubs come from the mingw trees, which are built after this one (they
# need kxpack): configuring never asks for them, packaging fails clearly
# without them.
#
# Run as a script (cmake -P, MODE=manpage) this file makes the man page.

if(CMAKE_SCRIPT_MODE_FILE)
  # A text for the roff body of the man page: shown as it stands.
  function(kx_roff_text text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
  endfunction()

  # The options a command's help names.
  function(kx_help_options text out)
    string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*" options "${text}")
    list(REMOVE_DUPLICATES options)
    set(${out} "${options}" PARENT_SCOPE)
  endfunction()

  if(MODE STREQUAL "manpage")
    # Every command's --help, as help2man reads only the program's own.
    set(include "[SYNOPSIS]\n.B kxpack\n\\fIcommand\\fR [\\fIoptions\\fR]\n.br\n.B kxpack\n\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n\n[COMMANDS]\n")
    file(READ "${COMPLETION}" completion)
    foreach(command keygen build inspect)
      execute_process(COMMAND "${KXPACK}" ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "${KXPACK} ${command} --help exited with ${status}")
      endif()
      # The completion must offer every option the help lists, and no other.
      kx_help_options("${help}" listed)
      list(APPEND listed --help)
      if(NOT completion MATCHES "_kxpack_options_${command}='([^']*)'")
        message(FATAL_ERROR "${COMPLETION}: no _kxpack_options_${command}")
      endif()
      string(REGEX REPLACE "[ \t\n]+" ";" offered "${CMAKE_MATCH_1}")
      list(REMOVE_ITEM offered "")
      set(missing ${listed})
      list(REMOVE_ITEM missing ${offered})
      set(extra ${offered})
      list(REMOVE_ITEM extra ${listed})
      if(missing OR extra)
        message(FATAL_ERROR "${COMPLETION} does not match kxpack ${command} --help: "
                            "not offered '${missing}', not in the help '${extra}'")
      endif()
      kx_roff_text("${help}" help)
      string(APPEND include ".SS \"kxpack ${command}\"\n.nf\n${help}.fi\n")
    endforeach()
    # --version's first line is the version; the rest, what kxpack writes.
    execute_process(COMMAND "${KXPACK}" --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT version MATCHES "^([^\n]+)\n(.*)$")
      message(FATAL_ERROR "${KXPACK} --version exited with ${status}: ${version}")
    endif()
    set(version_line "${CMAKE_MATCH_1}")
    kx_roff_text("${CMAKE_MATCH_2}" formats)
    string(APPEND include "\n[FORMATS]\n.nf\n${formats}.fi\n")
    string(APPEND include
      "\n[ENVIRONMENT]\n"
      ".TP\n.B SOURCE_DATE_EPOCH\nthe time written into an installer, in seconds since 1970 "
      "(default 1980\\-01\\-01 00:00:00 UTC)\n"
      ".TP\n.B KXPACK_SIGNING_TIMEOUT\nseconds osslsigncode may take (default 120)\n"
      ".TP\n.B TMPDIR\nwhere scratch files go\n"
      "\n[FILES]\n"
      ".TP\n.I /usr/share/kxsetup/stubs/setup\\-32.exe\n"
      "the setup program, 32\\-bit edition: what \\fBkxpack build\\fR takes without \\fB\\-\\-stub\\fR "
      "(or with \\fB\\-\\-edition 32\\fR)\n"
      ".TP\n.I /usr/share/kxsetup/stubs/setup\\-64.exe\n"
      "the setup program, 64\\-bit edition (\\fB\\-\\-edition 64\\fR)\n"
      ".PP\nBoth are found beside the running program (\\fI../share/kxsetup/stubs\\fR from its folder), "
      "so an unpacked copy of the package works wherever it lies.\n"
      ".TP\n.I /usr/share/doc/kxsetup/product\\-folder.md\n"
      "the product folder: every setup.cfg key and the rules for its files\n"
      "\n[SEE ALSO]\n.BR osslsigncode (1)\n")
    file(WRITE "${OUTPUT}.include" "${include}")
    execute_process(
      COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --version-string "${version_line}"
              --name "make and check installers of the kxsetup setup program"
              --section 1 --include "${OUTPUT}.include" --output "${OUTPUT}" "${KXPACK}"
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "help2man exited with ${status}")
    endif()
    # -n: no name or time in the archive, so the same page gives the same bytes.
    execute_process(COMMAND gzip -9nf "${OUTPUT}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip exited with ${status}")
    endif()
  endif()
  return()
endif()

include(GNUInstallDirs)

set(KX_STUB_32 "${PROJECT_SOURCE_DIR}/build/mingw/bin/setup.exe" CACHE FILEPATH
    "setup.exe of the 32-bit edition, packaged as share/kxsetup/stubs/setup-32.exe")
set(KX_STUB_64 "${PROJECT_SOURCE_DIR}/build/mingw64/bin/setup.exe" CACHE FILEPATH
    "setup.exe of the 64-bit edition, packaged as share/kxsetup/stubs/setup-64.exe")

# Before anything is copied: both stubs there, each of its edition (a PE
# image of that machine), and the man page made.
install(CODE "set(kx_stubs [[${KX_STUB_32}]] 014c 32 i386 mingw [[${KX_STUB_64}]] 8664 64 x86-64 mingw64)
set(kx_manpage [[${CMAKE_BINARY_DIR}/kxpack.1.gz]])" COMPONENT kxsetup)
install(CODE [[
  while(kx_stubs)
    list(POP_FRONT kx_stubs stub machine bits name preset)
    if(NOT EXISTS "${stub}")
      message(FATAL_ERROR "the package needs the setup program of the ${bits}-bit edition, and ${stub} "
        "does not exist: build it first (cmake --preset ${preset} && cmake --build --preset ${preset}), "
        "or name it with -DKX_STUB_${bits}=FILE")
    endif()
    file(READ "${stub}" header OFFSET 60 LIMIT 4 HEX)
    set(found "")
    if(header MATCHES "^(..)(..)(..)(..)$")
      math(EXPR at "0x${CMAKE_MATCH_4}${CMAKE_MATCH_3}${CMAKE_MATCH_2}${CMAKE_MATCH_1} + 4")
      file(READ "${stub}" found OFFSET ${at} LIMIT 2 HEX)
      string(REGEX REPLACE "^(..)(..)$" "\\2\\1" found "${found}")
    endif()
    if(NOT found STREQUAL machine)
      message(FATAL_ERROR "${stub} is not the setup program of the ${bits}-bit edition "
        "(its PE machine is '${found}', not ${machine}, ${name}): check KX_STUB_${bits}")
    endif()
  endwhile()
  if(NOT EXISTS "${kx_manpage}")
    message(FATAL_ERROR "${kx_manpage} was not made: the man page needs help2man "
      "(scripts/setup.sh installs it; reconfigure after)")
  endif()
]] COMPONENT kxsetup)

install(TARGETS kxpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kxsetup)
install(FILES ${KX_STUB_32} DESTINATION ${CMAKE_INSTALL_DATADIR}/kxsetup/stubs RENAME setup-32.exe
        COMPONENT kxsetup)
install(FILES ${KX_STUB_64} DESTINATION ${CMAKE_INSTALL_DATADIR}/kxsetup/stubs RENAME setup-64.exe
        COMPONENT kxsetup)
install(FILES ${PROJECT_SOURCE_DIR}/tools/kxpack/kxpack.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kxpack COMPONENT kxsetup)
install(FILES ${PROJECT_SOURCE_DIR}/docs/product-folder.md ${CMAKE_BINARY_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT kxsetup)

# The man page: kxpack's help, every command's with it, by help2man. Made
# with the build when help2man is there; packaging says so when it is not.
find_program(HELP2MAN help2man)
set(kx_completion ${PROJECT_SOURCE_DIR}/tools/kxpack/kxpack.bash-completion)
if(HELP2MAN)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kxpack.1.gz
    COMMAND ${CMAKE_COMMAND} -DMODE=manpage -DKXPACK=$<TARGET_FILE:kxpack> -DHELP2MAN=${HELP2MAN}
            -DCOMPLETION=${kx_completion} -DOUTPUT=${CMAKE_BINARY_DIR}/kxpack.1
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS kxpack ${kx_completion} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Making the man page kxpack.1.gz")
  add_custom_target(kxpack_manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/kxpack.1.gz)
endif()
install(FILES ${CMAKE_BINARY_DIR}/kxpack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kxsetup)

# Debian's machine-readable copyright file. The stubs carry the third-party
# code they are linked with.
file(WRITE ${CMAKE_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: kxsetup
Comment: kxpack and the setup program (usr/share/kxsetup/stubs). The setup
 program is linked statically with minizip, miniLZO, zlib and the mingw-w64
 runtime; kxpack links the system's OpenSSL, ICU, LZO and zlib.

Files: *
Copyright: the kxsetup developers
License: kxsetup
 Distributed by the kxsetup developers under the terms they give with it.

Files: usr/share/kxsetup/stubs/*
Copyright: the kxsetup developers
 1998-2010 Gilles Vollant, 2007-2008 Even Rouault, 2010 Daniel Borca,
 2009-2010 Mathias Svensson (minizip)
 1996-2017 Markus Franz Xaver Johannes Oberhumer (miniLZO)
 1995-2022 Jean-loup Gailly and Mark Adler (zlib)
License: kxsetup and Zlib and GPL-2+
 minizip and zlib are under the zlib licence, miniLZO under the GNU General
 Public License, version 2 or later; on Debian systems their texts are in
 /usr/share/common-licenses/GPL-2 and in the copyright files of the zlib1g
 and liblzo2-2 packages.
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kxsetup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "kxsetup maintainers <maintainers@kxsetup.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and checks installers of the kxsetup setup program")
set(CPACK_PACKAGE_DESCRIPTION
"kxpack turns a product folder (setup.cfg, a header bitmap, licence texts and
the program files) into a Windows installer: the kxsetup setup program with a
signed package behind it. It makes package keys, writes the product's name,
version and icon into the installer, signs it with Authenticode through
osslsigncode when asked, and inspects and verifies installers and
uninstallers. The setup program of both editions, 32-bit and 64-bit, comes
with it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package of this component only: the test libraries' install rules
# (GoogleTest's) stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};kxsetup;kxsetup;/")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
