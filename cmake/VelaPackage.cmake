# The release package of the Windows build, made by CPack: VelaPNG-<version>-win64.zip with
# VelaPNG.dll, LICENSE, THIRD-PARTY-NOTICES.md, the full licence texts of what the DLL links
# in (licenses/), INSTALL.txt and SHA256SUMS over the other files. The companions and the
# host are not in it: they are the viewer's. scripts/package.sh makes it in
# build/windows/package/; the ctest package_contents makes one of its own and checks it.
# Included by the top-level CMakeLists.txt after the subdirectories; nothing happens natively.
if(NOT WIN32)
  return()
endif()

# The project's only install rules are these, in one directory, so they run in the order
# written and SHA256SUMS comes last.
install(FILES "$<TARGET_FILE:VelaPNG>" LICENSE THIRD-PARTY-NOTICES.md DESTINATION .)
# The shipped DLL leaves its DWARF debug information behind; the build's copy keeps it.
install(CODE "execute_process(COMMAND [[${CMAKE_STRIP}]] --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/VelaPNG.dll\"
                              COMMAND_ERROR_IS_FATAL ANY)")
configure_file("${CMAKE_CURRENT_LIST_DIR}/package/INSTALL.txt.in" "${PROJECT_BINARY_DIR}/package-files/INSTALL.txt"
               @ONLY NEWLINE_STYLE WIN32)
install(FILES "${PROJECT_BINARY_DIR}/package-files/INSTALL.txt" DESTINATION .)
install(CODE "
  set(VELAPNG_PACKAGE_COMPILER [[${CMAKE_CXX_COMPILER}]])
  set(VELAPNG_PACKAGE_LIBDEFLATE_SOURCE [[${VELAPNG_LIBDEFLATE_SOURCE_DIR}]])
  set(VELAPNG_PACKAGE_NOTICES [[${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.md]])")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/package/gather-licences.cmake")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/package/write-sums.cmake")

set(CPACK_GENERATOR ZIP)
set(_vela_package_name "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_FILE_NAME "${_vela_package_name}")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)

if(VELAPNG_TESTING)
  # Makes a package of its own in a temporary directory, so it never races scripts/package.sh,
  # and runs the plug-in's PE check on the DLL inside.
  get_target_property(_vela_pe_check VelaPNG VELAPNG_PE_CHECK_COMMAND)
  add_test(NAME package_contents
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/check-package.sh" "${CMAKE_CPACK_COMMAND}"
                   "${PROJECT_BINARY_DIR}/CPackConfig.cmake" "${_vela_package_name}" ${_vela_pe_check})
endif()
