# What `cmake --install` puts where, and the packages CPack makes of it:
#   Linux:   bin/sondrax and bin/sondrax-check, share/man/man1/sondrax.1.gz and
#            sondrax-check.1.gz, and share/doc/sondrax/ with the copyright
#            file and the changelog; `cpack` makes a Debian package (sondrax_<version>_<arch>.deb)
#            with lintian's overrides added (packaging/DebianExtras.cmake).
#   Windows: sondrax.exe, sondrax-check.exe, sondrax.txt and sondrax-check.txt (the manual
#            pages as plain text) and LICENSE.txt side by side; `cpack` makes
#            sondrax-<version>-win32.zip (sondrax-<version>-win64.zip from the 64-bit build).
# Both packages are reproducible: with SOURCE_DATE_EPOCH set, cpack stamps every entry with it,
# and the compiler writes source paths relative to the source folder (CMakeLists.txt), so two
# folders give the same bytes (tools/package-check.sh).
# The program has no option that shows its version: the version is the project's, and it lives
# in the package's metadata and in the manual page.
include(GNUInstallDirs)

set(SONDRAX_MAN_PAGE ${PROJECT_SOURCE_DIR}/man/sondrax.1)
set(SONDRAX_CHECK_MAN_PAGE ${PROJECT_SOURCE_DIR}/man/sondrax-check.1)
# The manual pages are written by hand, their version included; a release that forgets to update
# one stops here instead of shipping a page that names another version.
foreach(page ${SONDRAX_MAN_PAGE} ${SONDRAX_CHECK_MAN_PAGE})
  file(STRINGS ${page} SONDRAX_MAN_TITLE REGEX "^\\.TH ")
  if(NOT SONDRAX_MAN_TITLE MATCHES "\"Sondrax ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "${page}: the .TH line must name \"Sondrax ${PROJECT_VERSION}\", "
                        "the project's version; it reads: ${SONDRAX_MAN_TITLE}")
  endif()
endforeach()

find_program(SONDRAX_GZIP gzip)
find_program(SONDRAX_GROFF groff)

if(WIN32)
  install(TARGETS sondrax sondrax-check RUNTIME DESTINATION .)
  if(SONDRAX_GROFF)
    # Windows has no man: the pages go along as text (UTF-8, without overstriking).
    foreach(name sondrax sondrax-check)
      add_custom_command(
        OUTPUT ${name}.txt
        COMMAND ${SONDRAX_GROFF} -man -Tutf8 -P-cbou ${PROJECT_SOURCE_DIR}/man/${name}.1 >
                ${name}.txt
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${name}.1
        COMMENT "Rendering the manual page ${name}.1 as text")
      add_custom_target(${name}_manual_text ALL DEPENDS ${name}.txt)
      install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.txt DESTINATION .)
    endforeach()
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  install(TARGETS sondrax sondrax-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(name sondrax sondrax-check)
    if(SONDRAX_GZIP)
      # Manual pages are installed compressed (-n: no name or time stamp, so the bytes depend
      # on the page alone); man reads them either way.
      add_custom_command(
        OUTPUT ${name}.1.gz COMMAND ${SONDRAX_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/man/${name}.1 >
                                    ${name}.1.gz DEPENDS ${PROJECT_SOURCE_DIR}/man/${name}.1
        COMMENT "Compressing the manual page ${name}.1")
      add_custom_target(${name}_manual ALL DEPENDS ${name}.1.gz)
      install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.1.gz
              DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${PROJECT_SOURCE_DIR}/man/${name}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
  # What Debian asks of every package: the copyright and licence in machine-readable form, and
  # the changelog, compressed as the manual page is. The changelog's newest entry names the
  # version, checked here as the manual page's is.
  set(SONDRAX_DEBIAN ${PROJECT_SOURCE_DIR}/packaging/debian)
  file(STRINGS ${SONDRAX_DEBIAN}/changelog SONDRAX_CHANGELOG_TOP LIMIT_COUNT 1)
  if(NOT SONDRAX_CHANGELOG_TOP MATCHES "^sondrax \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog: the newest entry must be for version "
                        "${PROJECT_VERSION}, the project's; it reads: ${SONDRAX_CHANGELOG_TOP}")
  endif()
  set(SONDRAX_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/sondrax)
  install(FILES ${SONDRAX_DEBIAN}/copyright DESTINATION ${SONDRAX_DOCDIR})
  if(SONDRAX_GZIP)
    add_custom_command(
      OUTPUT changelog.gz COMMAND ${SONDRAX_GZIP} -9 -n -c ${SONDRAX_DEBIAN}/changelog >
                                  changelog.gz DEPENDS ${SONDRAX_DEBIAN}/changelog
      COMMENT "Compressing the changelog")
    add_custom_target(sondrax_changelog ALL DEPENDS changelog.gz)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${SONDRAX_DOCDIR})
  else()
    install(FILES ${SONDRAX_DEBIAN}/changelog DESTINATION ${SONDRAX_DOCDIR})
  endif()
endif()

set(CPACK_PACKAGE_NAME sondrax)
set(CPACK_PACKAGE_VENDOR "Sondrax developers")
set(CPACK_PACKAGE_CONTACT "Sondrax developer <dev@sondrax.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report the chunks of a RIFF/WAVE sound file")
set(CPACK_PACKAGE_DESCRIPTION
    "\
Sondrax walks the chunks of a WAVE file and writes a fixed-layout report:
the RIFF header against the real file length, every field of the format
chunk with a description of the codec, the chunks before the sample data,
the data size with an estimated play time, and the items of every LIST/INFO
chunk after the samples. It never writes to the file.
.
sondrax-check judges many files and folders at once: one line a file with
its verdict and reason, JSON Lines, an exit status for scripts, and repaired
copies of files whose only fault is their size fields.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME "sondrax-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_SONDRAX_DEBIAN_DIR ${SONDRAX_DEBIAN})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/DebianExtras.cmake)
  # A static executable depends on nothing; a dynamic one gets its library packages from
  # dpkg-shlibdeps.
  find_program(SONDRAX_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(SONDRAX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  elseif(NOT SONDRAX_LINKED_STATICALLY)
    message(WARNING "dpkg-shlibdeps (package dpkg-dev) is missing: the Debian package of the "
                    "dynamically linked sondrax will not name the libraries it needs.")
  endif()
endif()

include(CPack)

# The manual page must render without a warning of groff's: a misspelt macro or escape, or a
# glyph a terminal cannot show, in the UTF-8 and the ASCII rendering that man chooses between.
if(SONDRAX_TESTS AND SONDRAX_GROFF)
  foreach(device utf8 ascii)
    add_test(NAME ManPage.RendersWithoutWarnings.${device}
             COMMAND ${SONDRAX_GROFF} -man -T${device} -ww -z ${SONDRAX_MAN_PAGE}
                     ${SONDRAX_CHECK_MAN_PAGE})
    set_tests_properties(ManPage.RendersWithoutWarnings.${device}
                         PROPERTIES FAIL_REGULAR_EXPRESSION "warning|error|can't" LABELS docs)
  endforeach()
endif()
