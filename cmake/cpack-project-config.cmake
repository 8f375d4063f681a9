# Read by cpack once per package it makes.

# File dates in every package come from SOURCE_DATE_EPOCH, so that the same
# sources pack to the same bytes: the caller's value, else the time of the
# last commit, else (outside a git checkout) the release day.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(brinok_epoch "")
  if(CPACK_BRINOK_GIT)
    execute_process(COMMAND "${CPACK_BRINOK_GIT}" -C "${CPACK_BRINOK_SOURCE_DIR}"
                            log -1 --format=%ct
                    OUTPUT_VARIABLE brinok_epoch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT brinok_epoch MATCHES "^[0-9]+$")
    set(brinok_epoch "${CPACK_BRINOK_RELEASE_EPOCH}")
  endif()
  if(brinok_epoch)
    set(ENV{SOURCE_DATE_EPOCH} "${brinok_epoch}")
  endif()
endif()

# A zip stores its file dates in local time: packed in UTC, the zip is the
# same wherever it is made.
set(ENV{TZ} UTC0)

# The Debian package alone gets the files Debian requires of it (copyright,
# changelog.gz, lintian overrides), which the build stages in
# CPACK_BRINOK_DEBIAN_ROOT as they lie in the package, from usr/ down.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALLED_DIRECTORIES "${CPACK_BRINOK_DEBIAN_ROOT};.")
endif()
