# velapng_memcheck(NAME TARGET [ARG...]): a ctest entry running TARGET under valgrind's
# memcheck; any invalid access, or any block definitely or indirectly lost, fails it. The
# suppressions cover the dynamic loader alone (cmake/valgrind.supp).
# Only in the native build without sanitizers: the sanitizer builds check on their own, and
# the Windows build runs under wine.
include_guard(GLOBAL)

function(velapng_memcheck name target)
  if(CMAKE_CROSSCOMPILING OR VELAPNG_SANITIZE OR VELAPNG_FUZZ)
    return()
  endif()
  find_program(VELAPNG_VALGRIND valgrind)
  if(NOT VELAPNG_VALGRIND)
    message(WARNING "valgrind not found: no memcheck run of ${target} (scripts/setup.sh test installs it)")
    return()
  endif()
  add_test(NAME ${name}
           COMMAND ${VELAPNG_VALGRIND} -q --error-exitcode=99 --leak-check=full
                   --suppressions=${PROJECT_SOURCE_DIR}/cmake/valgrind.supp
                   --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
                   $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS memcheck)
endfunction()
