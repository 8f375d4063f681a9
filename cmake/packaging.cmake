# What a station installs, and the packages it comes in: a .tar.gz and a .deb
# for Linux, a .zip for Windows. Built from the release (or windows) preset:
#   cmake --install build/release --prefix /usr/local --strip
#   cpack --preset release
# Every version shown (the manual's header, the Debian changelog, the package
# names, the Windows version resource) is the project's VERSION; its date is
# the one CHANGELOG.md gives that version's section.
include(GNUInstallDirs)

# Writes content to file only when it differs, so that what depends on the
# file is not rebuilt after every configure.
function(brinok_write_if_changed file content)
  file(WRITE "${file}.new" "${content}")
  file(COPY_FILE "${file}.new" "${file}" ONLY_IF_DIFFERENT)
  file(REMOVE "${file}.new")
endfunction()

# CHANGELOG.md from this version's section back (what is unreleased is not
# in the version packed), without its Markdown links and code marks:
# brinok_changes begins with "## [<version>] - <year-month-day>".
file(READ CHANGELOG.md brinok_changes)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS CHANGELOG.md)
string(FIND "${brinok_changes}" "\n## [${PROJECT_VERSION}] - " brinok_start)
if(brinok_start LESS 0)
  message(FATAL_ERROR "CHANGELOG.md has no section for ${PROJECT_VERSION}")
endif()
math(EXPR brinok_start "${brinok_start} + 1")
string(SUBSTRING "${brinok_changes}" ${brinok_start} -1 brinok_changes)
string(REGEX REPLACE "\n\\[[^]\n]*\\]: [^\n]*" "" brinok_changes
       "${brinok_changes}")
string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" brinok_changes
       "${brinok_changes}")
string(REPLACE "`" "" brinok_changes "${brinok_changes}")
string(STRIP "${brinok_changes}" brinok_changes)
if(NOT brinok_changes MATCHES "^## [^\n]* - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])\n")
  message(FATAL_ERROR "CHANGELOG.md gives ${PROJECT_VERSION} no date (year-month-day)")
endif()
set(BRINOK_RELEASE_DATE "${CMAKE_MATCH_1}")

# The packages' file dates: SOURCE_DATE_EPOCH when the caller sets it, else
# cpack-project-config.cmake takes the time of the last commit; outside a git
# checkout, the release day at midnight UTC. date(1) converts the day.
find_program(BRINOK_GIT git)
find_program(BRINOK_DATE date)
set(CPACK_BRINOK_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_BRINOK_GIT "${BRINOK_GIT}")
set(CPACK_BRINOK_RELEASE_EPOCH "")
if(BRINOK_DATE)
  execute_process(COMMAND "${BRINOK_DATE}" -u -d "${BRINOK_RELEASE_DATE}" +%s
                  OUTPUT_VARIABLE CPACK_BRINOK_RELEASE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT CPACK_BRINOK_RELEASE_EPOCH MATCHES "^[0-9]+$")
    set(CPACK_BRINOK_RELEASE_EPOCH "")
  endif()
endif()
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/cpack-project-config.cmake")

# The operator documents are made from docs/*.md by cmake/render-docs, with
# lowdown: the manual pages and the Windows README.txt. Only the packages and
# the installation need them: without lowdown the program and its tests build
# as ever, and installing or packing stops at once, saying what is missing.
find_program(BRINOK_LOWDOWN lowdown)
set(brinok_docs_in_all ALL)
if(NOT BRINOK_LOWDOWN)
  set(brinok_docs_in_all "")
  message(STATUS "lowdown not found: no manual pages or README.txt, and no "
                 "installing or packing (apt-get install lowdown)")
  install(CODE [[message(FATAL_ERROR "brinok: the manual pages and README.txt are made with lowdown, which is missing: apt-get install lowdown, then configure again")]])
endif()
install(TARGETS brinok RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
find_program(BRINOK_SH sh REQUIRED)
set(brinok_render "${BRINOK_SH}" "${PROJECT_SOURCE_DIR}/cmake/render-docs")
set(brinok_docs "${PROJECT_SOURCE_DIR}/docs")

if(WIN32)
  # Unzipped, the folder shows what to read first and the task to import next
  # to bin/BRINOK.EXE. Text files get CR LF line ends and a .txt name, so that
  # a double click opens them in Notepad as they are meant to look.
  math(EXPR brinok_windows_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  if(brinok_windows_bits EQUAL 32)
    string(JOIN "\n" brinok_windows_which
      "This 32-bit program runs on Windows Vista or later, 32- or 64-bit (and"
      "on ARM through its emulation), as the station's other old 32-bit"
      "programs such as UI-VIEW32 do; brinok-${PROJECT_VERSION}-win64.zip holds"
      "the 64-bit one.")
  else()
    string(JOIN "\n" brinok_windows_which
      "This 64-bit program runs on 64-bit Windows Vista or later only;"
      "brinok-${PROJECT_VERSION}-win32.zip holds the 32-bit one, which runs on"
      "every such Windows.")
  endif()
  configure_file(contrib/windows/README.txt.in README-header.txt @ONLY)
  add_custom_command(OUTPUT README.txt
    COMMAND ${brinok_render} readme README.txt README-header.txt
            "${brinok_docs}/windows.md" "${brinok_docs}/reference.md"
    DEPENDS README-header.txt "${PROJECT_SOURCE_DIR}/cmake/render-docs"
            "${brinok_docs}/windows.md" "${brinok_docs}/reference.md"
    VERBATIM)
  add_custom_target(brinok_readme ${brinok_docs_in_all} DEPENDS README.txt)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  # The changes as plain text: "brinok <version> (<date>)" and "Added:"
  # for the Markdown headings.
  string(REGEX REPLACE "\n## \\[([^]]*)\\] - ([0-9-]+)\n"
         "\nbrinok \\1 (\\2)\n" brinok_text "\n${brinok_changes}")
  string(REGEX REPLACE "\n### ([^\n]*)\n" "\n\\1:\n" brinok_text
         "${brinok_text}")
  string(STRIP "${brinok_text}" brinok_text)
  string(REPLACE "\n" "\r\n" brinok_text "${brinok_text}\n")
  brinok_write_if_changed("${CMAKE_CURRENT_BINARY_DIR}/CHANGELOG.txt"
                          "${brinok_text}")
  foreach(brinok_text README.txt LICENSE.txt CHANGELOG.txt)
    install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${brinok_text}" DESTINATION .)
  endforeach()
  install(FILES contrib/windows/brinok-task.xml DESTINATION .)
else()
  # The manual page, headed by this version and its date, and the longer
  # documents, compressed as distributions ship them: gzip -9n stores no file
  # name and no time stamp, so the same text packs to the same bytes. LICENSE
  # is small enough to stay as it is.
  find_program(BRINOK_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT brinok.1
    COMMAND ${brinok_render} man brinok.1 "${brinok_docs}/reference.md" BRINOK 1
            "User Commands" "${PROJECT_VERSION}" "${BRINOK_RELEASE_DATE}"
    DEPENDS "${PROJECT_SOURCE_DIR}/cmake/render-docs" "${brinok_docs}/reference.md"
    VERBATIM)
  # The README as the packages carry it, beside the guides: HACKING.md,
  # which they do not carry, is named where the sources link it.
  file(READ README.md brinok_readme)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS README.md)
  string(REPLACE "[HACKING.md](HACKING.md)" "HACKING.md in brinok's sources"
         brinok_readme "${brinok_readme}")
  string(REPLACE "](docs/" "](" brinok_readme "${brinok_readme}")
  brinok_write_if_changed("${CMAKE_CURRENT_BINARY_DIR}/README.md"
                          "${brinok_readme}")
  set(brinok_compressed "")
  foreach(brinok_doc "${CMAKE_CURRENT_BINARY_DIR}/brinok.1"
          "${CMAKE_CURRENT_BINARY_DIR}/README.md"
          "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
          "${brinok_docs}/windows.md" "${brinok_docs}/linux.md"
          "${brinok_docs}/aprs-is.md" "${brinok_docs}/reference.md")
    get_filename_component(brinok_name "${brinok_doc}" NAME)
    set(brinok_copy "${CMAKE_CURRENT_BINARY_DIR}/compressed/${brinok_name}")
    add_custom_command(OUTPUT "${brinok_copy}.gz"
      COMMAND "${CMAKE_COMMAND}" -E copy "${brinok_doc}" "${brinok_copy}"
      COMMAND "${BRINOK_GZIP}" -9nf "${brinok_copy}"
      DEPENDS "${brinok_doc}"
      VERBATIM)
    list(APPEND brinok_compressed "${brinok_copy}.gz")
  endforeach()
  add_custom_target(brinok_compressed_docs ${brinok_docs_in_all}
                    DEPENDS ${brinok_compressed})
  list(POP_FRONT brinok_compressed brinok_manual)
  install(FILES "${brinok_manual}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES ${brinok_compressed} LICENSE
          DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # For stations without systemd: the cron line, adjusted by hand.
  install(FILES contrib/cron/brinok.cron
          DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples")
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
  "exit status tells what happened. The package runs it in the station folder"
  "/var/lib/brinok as the account weather whenever a log arrives, and"
  "brinok-setup sets up pywws or WeeWX, direwolf and aprx to make and send"
  "the report.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
# The packed program carries no symbol table.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(brinok_package_system win64)
  else()
    set(brinok_package_system win32)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}"
         brinok_package_system)
  # GNU tar, as Linux has it, gives the entries to root.
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_POST_BUILD_SCRIPTS
        "${PROJECT_SOURCE_DIR}/cmake/tar-owned-by-root.cmake")
  endif()
endif()
set(CPACK_PACKAGE_FILE_NAME
    "${PROJECT_NAME}-${PROJECT_VERSION}-${brinok_package_system}")

# Debian: the architecture of the target, not of the machine that packs it,
# as dpkg names it (for a cross build, from the GNU triplet the compiler
# builds for). Where dpkg cannot say, or date(1) cannot date the changelog,
# only the .tar.gz is made: no .deb at all rather than one for the wrong
# processor.
set(BRINOK_DEB_ARCHITECTURE "" CACHE STRING
    "Pack the program as a .deb of this Debian architecture alone, not of the one it is built for")
set(brinok_deb_architecture "${BRINOK_DEB_ARCHITECTURE}")
if(BRINOK_DEB_ARCHITECTURE)
  # Its .tar.gz would be the other architecture's, under the same name.
  set(CPACK_GENERATOR "")
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                    OUTPUT_VARIABLE brinok_triplet
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(brinok_dpkg dpkg-architecture -t "${brinok_triplet}" -qDEB_HOST_ARCH)
  else()
    set(brinok_dpkg dpkg --print-architecture)
  endif()
  execute_process(COMMAND ${brinok_dpkg}
                  OUTPUT_VARIABLE brinok_deb_architecture
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT CPACK_BRINOK_RELEASE_EPOCH OR NOT brinok_deb_architecture)
    string(JOIN " " brinok_dpkg ${brinok_dpkg})
    message(STATUS "No .deb: `${brinok_dpkg}` or `date -u -d` gave no answer")
    set(brinok_deb_architecture "")
  endif()
endif()

if(brinok_deb_architecture)
  list(APPEND CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${brinok_deb_architecture}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # What Debian requires of a package besides the program, in the .deb only
  # (cpack-project-config.cmake adds them): the licence in the
  # machine-readable copyright format, the changelog and the reasoned
  # lintian override for the static binary.
  set(CPACK_BRINOK_DEBIAN_ROOT "${CMAKE_CURRENT_BINARY_DIR}/debian-root")
  # Made anew at each configure, so that no file left from an older layout
  # is packed; the build makes its generated files again.
  file(REMOVE_RECURSE "${CPACK_BRINOK_DEBIAN_ROOT}")
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
  configure_file(contrib/debian/copyright.in "${brinok_debian_doc}/copyright" @ONLY)
  configure_file(contrib/debian/lintian-overrides
                 "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/lintian/overrides/${PROJECT_NAME}"
                 COPYONLY)
  # The station around the program, in the .deb alone: the units where
  # systemd looks for a package's, brinok-setup and what it installs, and the
  # maintainer scripts that make the account and the folder and enable the
  # units.
  foreach(brinok_file
          "contrib/systemd/brinok.service:lib/systemd/system"
          "contrib/systemd/brinok.path:lib/systemd/system"
          "contrib/systemd/brinok.timer:lib/systemd/system"
          "contrib/systemd/brinok-watch.service:lib/systemd/system"
          "contrib/systemd/brinok-watch.timer:lib/systemd/system"
          "contrib/systemd/brinok-pywws.service:lib/systemd/system"
          "contrib/pywws/60-brinok-weather-station.rules:usr/share/brinok/pywws"
          "contrib/linux/brinok-setup:usr/sbin"
          "contrib/linux/brinok-status:usr/sbin"
          "contrib/linux/aprs-weather:etc/brinok"
          "contrib/direwolf/brinok-beacon.conf:usr/share/brinok/direwolf"
          "contrib/direwolf/brinok-igate.conf:usr/share/brinok/direwolf"
          "contrib/aprx/brinok-aprx.conf:usr/share/brinok/aprx"
          "contrib/pywws/QQ9QQ-7.Log:usr/share/brinok/pywws"
          "contrib/pywws/brinok.py:usr/share/brinok/pywws"
          "contrib/pywws/forget-future.py:usr/share/brinok/pywws"
          "contrib/pywws/merge.py:usr/share/brinok/pywws"
          "contrib/pywws/weather.ini:usr/share/brinok/pywws"
          "contrib/weewx/install.py:usr/share/brinok/weewx"
          "contrib/weewx/bin/user/brinok.py:usr/share/brinok/weewx/bin/user"
          "contrib/weewx/weewx-conf.py:usr/share/brinok/weewx")
    string(REPLACE ":" ";" brinok_file "${brinok_file}")
    list(GET brinok_file 0 brinok_source)
    list(GET brinok_file 1 brinok_folder)
    get_filename_component(brinok_name "${brinok_source}" NAME)
    configure_file("${brinok_source}"
                   "${CPACK_BRINOK_DEBIAN_ROOT}/${brinok_folder}/${brinok_name}"
                   COPYONLY)
  endforeach()
  set(brinok_setup_manual "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/man/man8/brinok-setup.8")
  add_custom_command(OUTPUT brinok-setup.8
    COMMAND ${brinok_render} man brinok-setup.8 "${brinok_docs}/brinok-setup.md"
            BRINOK-SETUP 8 "System Administration" "${PROJECT_VERSION}"
            "${BRINOK_RELEASE_DATE}"
    DEPENDS "${PROJECT_SOURCE_DIR}/cmake/render-docs" "${brinok_docs}/brinok-setup.md"
    VERBATIM)
  add_custom_command(OUTPUT "${brinok_setup_manual}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy
            "${CMAKE_CURRENT_BINARY_DIR}/brinok-setup.8" "${brinok_setup_manual}"
    COMMAND "${BRINOK_GZIP}" -9nf "${brinok_setup_manual}"
    DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/brinok-setup.8"
    VERBATIM)
  add_custom_target(brinok_setup_manual ${brinok_docs_in_all}
                    DEPENDS "${brinok_setup_manual}.gz")
  # brinok-status is a section of brinok-setup's manual.
  file(MAKE_DIRECTORY "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/man/man8")
  file(CREATE_LINK brinok-setup.8.gz
       "${CPACK_BRINOK_DEBIAN_ROOT}/usr/share/man/man8/brinok-status.8.gz" SYMBOLIC)
  # aprs-weather is a configuration file, as the beacons of direwolf and aprx
  # run it: it stays after removal, until purge.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      "${PROJECT_SOURCE_DIR}/contrib/debian/conffiles"
      "${PROJECT_SOURCE_DIR}/contrib/debian/postinst"
      "${PROJECT_SOURCE_DIR}/contrib/debian/prerm"
      "${PROJECT_SOURCE_DIR}/contrib/debian/postrm")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The Debian changelog: one entry per section of CHANGELOG.md, newest
  # first, its lines indented as the format asks ("Added:", "* " items),
  # signed off on the section's day as date -R writes it.
  set(brinok_rest "${brinok_changes}")
  set(brinok_debian_changes "")
  while(brinok_rest MATCHES "^## \\[([^]]*)\\] - ([0-9-]+)\n")
    set(brinok_entry_version "${CMAKE_MATCH_1}")
    execute_process(COMMAND "${BRINOK_DATE}" -u -d "${CMAKE_MATCH_2}" -R
                    OUTPUT_VARIABLE brinok_entry_date
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(LENGTH "${CMAKE_MATCH_0}" brinok_length)
    string(SUBSTRING "${brinok_rest}" ${brinok_length} -1 brinok_rest)
    string(FIND "${brinok_rest}" "\n## [" brinok_next)
    string(SUBSTRING "${brinok_rest}" 0 ${brinok_next} brinok_entry)
    if(brinok_next LESS 0)
      set(brinok_rest "")
    else()
      math(EXPR brinok_next "${brinok_next} + 1")
      string(SUBSTRING "${brinok_rest}" ${brinok_next} -1 brinok_rest)
    endif()
    string(STRIP "\n${brinok_entry}" brinok_entry)
    string(REGEX REPLACE "\n### ([^\n]*)" "\n\\1:" brinok_entry "\n${brinok_entry}")
    string(REGEX REPLACE "\n- " "\n* " brinok_entry "${brinok_entry}")
    string(REGEX REPLACE "\n([^\n])" "\n  \\1" brinok_entry "${brinok_entry}")
    string(APPEND brinok_debian_changes
      "${PROJECT_NAME} (${brinok_entry_version}) unstable; urgency=medium\n"
      "${brinok_entry}\n\n -- ${CPACK_PACKAGE_CONTACT}  ${brinok_entry_date}\n\n")
  endwhile()
  string(STRIP "${brinok_debian_changes}" brinok_debian_changes)
  brinok_write_if_changed("${CMAKE_CURRENT_BINARY_DIR}/debian-changelog"
                          "${brinok_debian_changes}\n")
  add_custom_command(OUTPUT "${brinok_debian_doc}/changelog.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy
            "${CMAKE_CURRENT_BINARY_DIR}/debian-changelog"
            "${brinok_debian_doc}/changelog"
    COMMAND "${BRINOK_GZIP}" -9nf "${brinok_debian_doc}/changelog"
    DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/debian-changelog"
    VERBATIM)
  add_custom_target(brinok_debian_changelog ALL
                    DEPENDS "${brinok_debian_doc}/changelog.gz")
  # The release build links statically and needs nothing at run time; any
  # other build gets its shared-library dependencies from dpkg-shlibdeps.
  # The maintainer scripts make the account with adduser.
  if(CMAKE_EXE_LINKER_FLAGS MATCHES "(^| )-static( |$)")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
