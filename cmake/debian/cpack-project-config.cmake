# Read by cpack once per package it makes. The Debian package alone gets the
# files Debian requires of it (copyright, changelog.gz, lintian overrides),
# which the build stages in CPACK_BRINOK_DEBIAN_ROOT as they lie in the
# package, from usr/ down.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALLED_DIRECTORIES "${CPACK_BRINOK_DEBIAN_ROOT};.")
endif()
