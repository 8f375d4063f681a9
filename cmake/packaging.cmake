# What a station installs, and the packages it comes in: a .tar.gz and a .deb
# for Linux, a .zip for Windows. Built from the release (or windows) preset:
#   cmake --install build/release --prefix /usr/local
#   cpack --preset release
include(GNUInstallDirs)

# Sets out_var to the date year-month-day in the form of RFC 2822 that Debian
# changelogs use, e.g. "Tue, 08 Dec 2026 00:00:00 +0000" (weekday by
# Zeller's congruence, with January and February counted in the year before).
function(brinok_rfc2822_date out_var year month day)
  set(y ${year})
  set(m ${month})
  if(m LESS 3)
    math(EXPR m "${m} + 12")
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday
       "(${day} + 13 * (${m} + 1) / 5 + ${y} + ${y} / 4 - ${y} / 100 + ${y} / 400) % 7")
  set(weekdays Sat Sun Mon Tue Wed Thu Fri)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday)
  math(EXPR month_index "${month} - 1")
  list(GET months ${month_index} month_name)
  if(day LESS 10)
    set(day "0${day}")
  endif()
  set(${out_var} "${weekday}, ${day} ${month_name} ${year} 00:00:00 +0000"
      PARENT_SCOPE)
endfunction()

install(TARGETS brinok RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

if(WIN32)
  # Unzipped, the folder shows what to read first and the task to import next
  # to bin/BRINOK.EXE. Text files get CR LF line ends and a .txt name, so that
  # a double click opens them in Notepad as they are meant to look.
  math(EXPR brinok_windows_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  configure_file(contrib/windows/README.txt.in README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  # The changes as plain text, from this version's section back: what is
  # unreleased is not in the version the zip carries.
  file(READ CHANGELOG.md brinok_changes)
  string(FIND "${brinok_changes}" "\n## [${PROJECT_VERSION}] - " brinok_start)
  if(brinok_start LESS 0)
    message(FATAL_ERROR "CHANGELOG.md has no section for ${PROJECT_VERSION}")
  endif()
  string(SUBSTRING "${brinok_changes}" ${brinok_start} -1 brinok_changes)
  string(REGEX REPLACE "\n## \\[([^]]*)\\] - ([0-9-]+)\n"
         "\nbrinok \\1 (\\2)\n" brinok_changes "${brinok_changes}")
  string(REGEX REPLACE "\n### ([^\n]*)\n" "\n\\1:\n" brinok_changes
         "${brinok_changes}")
  string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" brinok_changes
         "${brinok_changes}")
  string(REPLACE "`" "" brinok_changes "${brinok_changes}")
  string(STRIP "${brinok_changes}" brinok_changes)
  file(CONFIGURE OUTPUT CHANGELOG.txt CONTENT "${brinok_changes}\n" @ONLY
       NEWLINE_STYLE CRLF)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS CHANGELOG.md)
  foreach(brinok_text README.txt LICENSE.txt CHANGELOG.txt)
    install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${brinok_text}" DESTINATION .)
  endforeach()
  install(FILES contrib/windows/brinok-task.xml DESTINATION .)
else()
  # The manual page compressed as distributions ship it: gzip -9n stores no
  # file name and no time stamp, so the same page packs to the same bytes.
  find_program(BRINOK_GZIP gzip REQUIRED)
  set(brinok_manual "${CMAKE_CURRENT_BINARY_DIR}/brinok.1")
  add_custom_command(OUTPUT "${brinok_manual}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/man/brinok.1"
            "${brinok_manual}"
    COMMAND "${BRINOK_GZIP}" -9nf "${brinok_manual}"
    DEPENDS man/brinok.1
    VERBATIM)
  add_custom_target(brinok_manual ALL DEPENDS "${brinok_manual}.gz")
  install(FILES "${brinok_manual}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES README.md LICENSE CHANGELOG.md
          DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # Examples, not live units: the station folder, the user and the binary's
  # path differ from station to station, so the operator copies and adjusts.
  install(FILES contrib/systemd/brinok.service
                contrib/systemd/brinok.path
                contrib/systemd/brinok.timer
                contrib/cron/brinok.cron
                contrib/direwolf/brinok-beacon.conf
          DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples")
  install(FILES contrib/pywws/QQ9QQ-7.Log
                contrib/pywws/brinok.py
                contrib/pywws/weather.ini
          DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples/pywws")
endif()

set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "the brinok developers")
set(CPACK_PACKAGE_CONTACT "brinok developers <brinok@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Wrapped as a Debian package description is: lines of at most 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "brinok makes one conversion run each time it starts: it reads the weather"
  "log QQ9QQ-7.Log that a weather-station program writes, encodes its seven"
  "values as one APRS weather data line, publishes the report BRINOK.TXT for"
  "an APRS client (such as direwolf) in one atomic step and deletes the log."
  "It has no window, no arguments and no settings, and prints nothing; its"
  "exit status tells what happened. Examples for starting it from systemd or"
  "cron, and for beaconing the report with direwolf, are included.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(brinok_package_system win64)
  else()
    set(brinok_package_system win32)
  endif()
else()
  set(CPACK_GENERATOR TGZ DEB)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}"
         brinok_package_system)
endif()
set(CPACK_PACKAGE_FILE_NAME
    "${PROJECT_NAME}-${PROJECT_VERSION}-${brinok_package_system}")

# Debian: the architecture of the target, not of the machine that packs it.
set(brinok_deb_architectures
    x86_64=amd64 AMD64=amd64 i686=i386 i386=i386 aarch64=arm64 arm64=arm64
    armv7l=armhf armv5tel=armel riscv64=riscv64 ppc64le=ppc64el s390x=s390x)
foreach(brinok_pair IN LISTS brinok_deb_architectures)
  string(REPLACE "=" ";" brinok_pair "${brinok_pair}")
  list(GET brinok_pair 0 brinok_processor)
  list(GET brinok_pair 1 brinok_architecture)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL brinok_processor)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${brinok_architecture}")
  endif()
endforeach()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# What Debian requires of a package besides the program, in the .deb only
# (cmake/debian/cpack-project-config.cmake adds them): the licence in the
# machine-readable copyright format, a changelog entry for this version and
# the reasoned lintian override for the static binary.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_BRINOK_DEBIAN_ROOT "${CMAKE_CURRENT_BINARY_DIR}/debian-root")
  set(brinok_debian_doc "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/doc/${PROJECT_NAME}")
  # LICENSE without its title and copyright lines, as the indented text
  # that a License: field takes (an empty line becomes " .").
  file(READ LICENSE brinok_license_text)
  string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" brinok_license_text
         "${brinok_license_text}")
  string(STRIP "${brinok_license_text}" brinok_license_text)
  string(REPLACE "\n\n" "\n.\n" brinok_license_text "${brinok_license_text}")
  string(REPLACE "\n" "\n " brinok_license_text " ${brinok_license_text}")
  string(REGEX REPLACE "^Copyright \\(c\\) " "" brinok_copyright
         "${BRINOK_COPYRIGHT}")
  # The changelog entry is dated as CHANGELOG.md dates this version.
  file(STRINGS CHANGELOG.md brinok_release
       REGEX "^## \\[${PROJECT_VERSION}\\] - [0-9]+-[0-9]+-[0-9]+$")
  if(NOT brinok_release MATCHES "([0-9]+)-0*([0-9]+)-0*([0-9]+)$")
    message(FATAL_ERROR "CHANGELOG.md has no dated section for ${PROJECT_VERSION}")
  endif()
  brinok_rfc2822_date(brinok_release_date
                      ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
  configure_file(cmake/debian/copyright.in "${brinok_debian_doc}/copyright" @ONLY)
  configure_file(cmake/debian/changelog.in debian-changelog @ONLY)
  configure_file(cmake/debian/lintian-overrides
                 "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/lintian/overrides/${PROJECT_NAME}"
                 COPYONLY)
  add_custom_command(OUTPUT "${brinok_debian_doc}/changelog.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy
            "${CMAKE_CURRENT_BINARY_DIR}/debian-changelog"
            "${brinok_debian_doc}/changelog"
    COMMAND "${BRINOK_GZIP}" -9nf "${brinok_debian_doc}/changelog"
    DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/debian-changelog"
    VERBATIM)
  add_custom_target(brinok_debian_changelog ALL
                    DEPENDS "${brinok_debian_doc}/changelog.gz")
  set(CPACK_PROJECT_CONFIG_FILE
      "${PROJECT_SOURCE_DIR}/cmake/debian/cpack-project-config.cmake")
endif()
# The release build links statically and needs nothing at run time; any other
# build gets its shared-library dependencies worked out by dpkg-shlibdeps.
if(CMAKE_EXE_LINKER_FLAGS MATCHES "(^| )-static( |$)")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
