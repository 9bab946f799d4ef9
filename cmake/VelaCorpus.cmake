# Where the suites and the fuzz targets find the shared corpus, read in place: PngSuite and
# the malformed files beside the repository; a user's own clone takes the same files from
# the libspng source package (the test script then sets both directories).
include_guard(GLOBAL)

set(_vela_shared "${PROJECT_SOURCE_DIR}/../shared/corpus")
set(VELAPNG_PNGSUITE_DIR "${_vela_shared}/pngsuite" CACHE PATH "PngSuite directory")
set(VELAPNG_CRASHERS_DIR "${_vela_shared}/crashers" CACHE PATH "Malformed-file corpus directory")
foreach(_dir VELAPNG_PNGSUITE_DIR VELAPNG_CRASHERS_DIR)
  if(NOT IS_DIRECTORY "${${_dir}}")
    message(WARNING "${_dir} (${${_dir}}) is not a directory: the corpus tests will fail; run scripts/test.sh or set it")
  endif()
endforeach()

# Prefix of absolute paths handed to the programs under test: a Windows build runs them
# under wine, which maps / to drive Z:.
set(VELAPNG_RUNTIME_PATH_PREFIX "")
if(WIN32)
  set(VELAPNG_RUNTIME_PATH_PREFIX "Z:")
endif()
