# Compares the defined dynamic symbols of LIBRARY with the sorted list EXPECTED.
include(${CMAKE_CURRENT_LIST_DIR}/nm_names.cmake)
nm_names(names -D --defined-only ${LIBRARY})
list(SORT names)
if(NOT names STREQUAL EXPECTED)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${EXPECTED}")
endif()
list(LENGTH names count)
message(STATUS "${count} exports, as expected")
