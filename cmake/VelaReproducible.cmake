# Byte-for-byte rebuilds of the Windows DLL: the same commit gives the same VelaPNG.dll from
# any checkout directory, on any day. Included by the top-level CMakeLists.txt before the
# subdirectories; natively nothing changes (a debugger there wants the real paths).
#
# What used to differ between two builds: the link time in the PE header and the export
# directory, the build directory in the import symbols of QZ_Log.DLL (VelaWindowsDll.cmake),
# which stay in the stripped DLL, and both directories in the build copy's DWARF data.
#
#   VELAPNG_SOURCE_DATE_EPOCH   the time stamped into the DLL, the package's ZIP entries and
#       its bill of materials: $ENV{SOURCE_DATE_EPOCH} at configure time, else the time of
#       the source tree's last commit, else nothing (the DLL then carries zero, the ZIP 1980).
#       scripts/package.sh exports the commit time, so both roads meet.
#
#   velapng_reproducible_link(<target>)
#       Links <target> with that time instead of the clock: GNU ld's PE writer reads
#       SOURCE_DATE_EPOCH, handed to it through the link's launcher, so a new time relinks.
include_guard(GLOBAL)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VELAPNG_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  set(VELAPNG_SOURCE_DATE_EPOCH "")
  if(Git_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                    OUTPUT_VARIABLE VELAPNG_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT VELAPNG_SOURCE_DATE_EPOCH STREQUAL "" AND NOT VELAPNG_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not '${VELAPNG_SOURCE_DATE_EPOCH}'")
endif()

if(WIN32)
  # Paths in debug information and __FILE__ are relative to the tree: the build directory's
  # map comes last, since it may lie inside the source tree and GCC applies the last match.
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=." "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
  # ar's deterministic mode (zero times, owners and modes) is Debian's default; say so anyway.
  foreach(_vela_lang C CXX)
    set(CMAKE_${_vela_lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${_vela_lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${_vela_lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
endif()

function(velapng_reproducible_link target)
  if(VELAPNG_SOURCE_DATE_EPOCH STREQUAL "")
    target_link_options(${target} PRIVATE "LINKER:--no-insert-timestamp")
  else()
    set_property(TARGET ${target} PROPERTY RULE_LAUNCH_LINK
                 "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELAPNG_SOURCE_DATE_EPOCH}")
  endif()
endfunction()
