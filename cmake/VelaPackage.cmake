# The release package of the Windows build: VelaPNG-<version>-win64.zip with VelaPNG.dll,
# LICENSE, THIRD-PARTY-NOTICES.md, the full licence texts of what the DLL links in
# (licenses/), its CycloneDX bill of materials (VelaPNG-<version>.cdx.json), INSTALL.txt and
# SHA256SUMS. The companions and the host are not in it: they are the viewer's. The install
# rules below stage it; make-package.cmake, generated into the build tree, zips the staged
# files the same way every time (scripts/package.sh; the ctest package_contents makes one of
# its own and checks it). CPack's zip takes each file's time, owner and mode from the disk.
# Included by the top-level CMakeLists.txt after the subdirectories; nothing happens natively.
if(NOT WIN32)
  return()
endif()

# The project's only install rules are these, in one directory, so they run in the order
# written and SHA256SUMS comes last.
install(FILES "$<TARGET_FILE:VelaPNG>" LICENSE THIRD-PARTY-NOTICES.md DESTINATION .)
# The shipped DLL leaves its DWARF debug information behind; the build's copy keeps it.
# strip writes the PE header anew, with the clock's time unless SOURCE_DATE_EPOCH says
# otherwise (0 where the link stamped none).
set(VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO "${VELAPNG_SOURCE_DATE_EPOCH}")
if(VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO STREQUAL "")
  set(VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO 0)
endif()
install(CODE "execute_process(COMMAND [[${CMAKE_COMMAND}]] -E env SOURCE_DATE_EPOCH=${VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO}
                                      [[${CMAKE_STRIP}]] --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/VelaPNG.dll\"
                              COMMAND_ERROR_IS_FATAL ANY)")
configure_file("${CMAKE_CURRENT_LIST_DIR}/package/INSTALL.txt.in" "${PROJECT_BINARY_DIR}/package-files/INSTALL.txt"
               @ONLY NEWLINE_STYLE WIN32)
install(FILES "${PROJECT_BINARY_DIR}/package-files/INSTALL.txt" DESTINATION .)
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
install(CODE "
  set(VELAPNG_PACKAGE_COMPILER [[${CMAKE_CXX_COMPILER}]])
  set(VELAPNG_PACKAGE_LIBDEFLATE_SOURCE [[${VELAPNG_LIBDEFLATE_SOURCE_DIR}]])
  set(VELAPNG_PACKAGE_NOTICES [[${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.md]])
  set(VELAPNG_PACKAGE_PYTHON [[${Python3_EXECUTABLE}]])
  set(VELAPNG_PACKAGE_NAME [[${PROJECT_NAME}]])
  set(VELAPNG_PACKAGE_VERSION [[${PROJECT_VERSION}]])
  set(VELAPNG_PACKAGE_EPOCH [[${VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO}]])")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/package/gather-licences.cmake")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/package/write-sbom.cmake")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/package/write-sums.cmake")

set(VELAPNG_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
configure_file("${CMAKE_CURRENT_LIST_DIR}/package/make-package.cmake.in" "${PROJECT_BINARY_DIR}/make-package.cmake" @ONLY)

if(VELAPNG_TESTING)
  # Makes packages of its own in a temporary directory, so it never races scripts/package.sh,
  # and runs the plug-in's PE check on the DLL inside.
  get_target_property(_vela_pe_check VelaPNG VELAPNG_PE_CHECK_COMMAND)
  add_test(NAME package_contents
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/check-package.sh" "${PROJECT_BINARY_DIR}/make-package.cmake"
                   "${VELAPNG_PACKAGE_FILE_NAME}" "${PROJECT_VERSION}" "${VELAPNG_SOURCE_DATE_EPOCH_OR_ZERO}"
                   "${VELAPNG_LIBDEFLATE_SOURCE_DIR}" "$<TARGET_FILE:VelaPNG>" "${PROJECT_SOURCE_DIR}" ${_vela_pe_check})
  # The DLL built again in a build directory of another path and at another time must be
  # the same bytes; scripts/check-reproducible.sh does the same from two fresh clones.
  add_test(NAME dll_rebuilds_identically
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/check-rebuild.sh" "${PROJECT_SOURCE_DIR}"
                   "$<TARGET_FILE:VelaPNG>" "${VELAPNG_SOURCE_DATE_EPOCH}" "${VELAPNG_LIBDEFLATE_SOURCE_DIR}")
endif()
