# What a station installs, and the packages it comes in: a .tar.gz and a .deb
# for Linux, a .zip for Windows. Built from the release (or windows) preset:
#   cmake --install build/release --prefix /usr/local
#   cpack --preset release
include(GNUInstallDirs)

install(TARGETS brinok RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

if(WIN32)
  # Unzipped, the folder shows what to read first and the task to import next
  # to bin/BRINOK.EXE.
  install(FILES README.md LICENSE CHANGELOG.md
                contrib/windows/brinok-task.xml
          DESTINATION .)
else()
  install(FILES man/brinok.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES README.md LICENSE CHANGELOG.md
          DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # Examples, not live units: the station folder, the user and the binary's
  # path differ from station to station, so the operator copies and adjusts.
  install(FILES contrib/systemd/brinok.service
                contrib/systemd/brinok.path
                contrib/systemd/brinok.timer
                contrib/cron/brinok.cron
          DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples")
endif()

set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VENDOR "the brinok developers")
set(CPACK_PACKAGE_CONTACT "brinok developers <brinok@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "brinok makes one conversion run each time it starts: it reads the weather \
log QQ9QQ-7.Log that a weather-station program writes, encodes its seven \
values as one APRS weather data line, publishes the report BRINOK.TXT for an \
APRS client in one atomic step and deletes the log. It has no window, no \
arguments and no settings, and prints nothing; its exit status tells what \
happened. Start it from a systemd path or timer unit, or from cron.")
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
    armv7l=armhf riscv64=riscv64 ppc64le=ppc64el s390x=s390x)
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
# The release build links statically and needs nothing at run time; any other
# build gets its shared-library dependencies worked out by dpkg-shlibdeps.
if(CMAKE_EXE_LINKER_FLAGS MATCHES "(^| )-static( |$)")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
