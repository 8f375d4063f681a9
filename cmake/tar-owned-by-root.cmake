# Run by cpack once it has made the packages (CPACK_POST_BUILD_SCRIPTS). The
# entries of the .tar.gz are given to root (0:0), as a .deb's are, whoever
# built them: CPack's archive writer takes the builder's own account, so two
# accounts would make two archives, and unpacking as root would leave files
# owned by an account of the build machine. Entries keep their order, modes
# and dates; GNU tar and gzip -9n pack them again.
foreach(brinok_package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT brinok_package MATCHES "\\.tar\\.gz$")
    continue()
  endif()
  set(brinok_tree "${brinok_package}.tree")
  file(REMOVE_RECURSE "${brinok_tree}")
  file(MAKE_DIRECTORY "${brinok_tree}")
  execute_process(COMMAND tar -xpzf "${brinok_package}" -C "${brinok_tree}"
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND tar -tzf "${brinok_package}"
                  OUTPUT_FILE "${brinok_tree}.list"
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(
    COMMAND tar -c --format=ustar --no-recursion --owner=root:0
            --group=root:0 -C "${brinok_tree}" -T "${brinok_tree}.list"
    COMMAND gzip -9n
    OUTPUT_FILE "${brinok_package}"
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${brinok_tree}" "${brinok_tree}.list")
endforeach()
