# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged files of the Debian package, before they
# are packed: what belongs to the package alone and not to `cmake --install`, which may put the
# program under /usr/local or a home directory.
if(CPACK_GENERATOR STREQUAL "DEB")
  # lintian's overrides, each with its reason beside it. cpack has set DESTDIR to the staging
  # directory, which file(INSTALL) puts in front of the destination.
  file(INSTALL ${CPACK_SONDRAX_DEBIAN_DIR}/lintian-overrides
       DESTINATION ${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides RENAME sondrax
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
