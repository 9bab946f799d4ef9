# libdeflate is a real dependency, never vendored: natively the distribution's package
# (found through pkg-config). A cross build for Windows compiles Debian's source package of
# the same version, unpacked by `scripts/setup.sh test` into build/deps/libdeflate; a copy
# of it in the build tree is built with its own Makefile, so the unpacked source stays
# pristine. Either build may instead name a static library and header directory of its own
# through VELAPNG_LIBDEFLATE_LIBRARY / VELAPNG_LIBDEFLATE_INCLUDE_DIR.
set(VELAPNG_LIBDEFLATE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/deps/libdeflate" CACHE PATH
    "libdeflate source tree that a cross build compiles")

function(_velapng_build_libdeflate_from_source)
  set(src "${VELAPNG_LIBDEFLATE_SOURCE_DIR}")
  if(NOT EXISTS "${src}/libdeflate.h" OR NOT EXISTS "${src}/Makefile")
    message(FATAL_ERROR "libdeflate source not found in ${src}: run scripts/setup.sh test "
                        "(it unpacks Debian's libdeflate source package there), or set "
                        "VELAPNG_LIBDEFLATE_SOURCE_DIR")
  endif()
  find_program(VELAPNG_MAKE NAMES make gmake REQUIRED)
  set(work "${CMAKE_BINARY_DIR}/deps/libdeflate")
  set(archive "${work}/libdeflatestatic.lib")
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS "${src}/lib/*.c" "${src}/lib/*.h")
  list(APPEND inputs "${src}/Makefile" "${src}/libdeflate.h" "${src}/common_defs.h")
  # The Makefile picks the Windows flavour (static.lib suffix) from the compiler's target and
  # appends our CFLAGS to its own: a section per function, so that the plug-in's link leaves
  # out the compressor it never calls (VelaSections.cmake).
  # Paths in its objects relative to the copy, as in ours (VelaReproducible.cmake).
  list(JOIN VELAPNG_SECTION_FLAGS " " section_flags)
  string(APPEND section_flags " -ffile-prefix-map=${work}=libdeflate")
  add_custom_command(
    OUTPUT "${archive}"
    COMMAND "${CMAKE_COMMAND}" -E copy_directory "${src}" "${work}"
    COMMAND "${VELAPNG_MAKE}" -C "${work}" -s "CC=${CMAKE_C_COMPILER}" "AR=${CMAKE_AR}" "CFLAGS=${section_flags}"
            libdeflatestatic.lib
    DEPENDS ${inputs}
    COMMENT "Building libdeflate for ${CMAKE_SYSTEM_NAME} from ${src}"
    VERBATIM)
  add_custom_target(velapng_libdeflate_build DEPENDS "${archive}")

  add_library(velapng_libdeflate_static STATIC IMPORTED GLOBAL)
  set_target_properties(velapng_libdeflate_static PROPERTIES IMPORTED_LOCATION "${archive}")

  # Imported targets take no dependencies; the interface target carries the build order.
  add_library(velapng_libdeflate INTERFACE)
  add_dependencies(velapng_libdeflate velapng_libdeflate_build)
  target_link_libraries(velapng_libdeflate INTERFACE velapng_libdeflate_static)
  target_include_directories(velapng_libdeflate SYSTEM INTERFACE "${src}")
  # Our objects' debug information names libdeflate.h: by the tree's path, not this checkout's
  # (build/deps may be a link elsewhere, so its real path too).
  file(REAL_PATH "${src}" real_src)
  target_compile_options(velapng_libdeflate INTERFACE "-ffile-prefix-map=${src}=libdeflate"
                                                      "-ffile-prefix-map=${real_src}=libdeflate")
endfunction()

if(VELAPNG_LIBDEFLATE_LIBRARY)
  add_library(velapng_libdeflate INTERFACE)
  target_link_libraries(velapng_libdeflate INTERFACE ${VELAPNG_LIBDEFLATE_LIBRARY})
  target_include_directories(velapng_libdeflate SYSTEM INTERFACE ${VELAPNG_LIBDEFLATE_INCLUDE_DIR})
elseif(CMAKE_CROSSCOMPILING)
  _velapng_build_libdeflate_from_source()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
  add_library(velapng_libdeflate INTERFACE)
  target_link_libraries(velapng_libdeflate INTERFACE PkgConfig::LIBDEFLATE)
endif()
