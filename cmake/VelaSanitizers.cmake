# Sanitizers apply to everything built in the tree (our code, tests and stand-ins alike),
# so a report can never hide in a library that was built without them.
if(VELAPNG_SANITIZE)
  list(JOIN VELAPNG_SANITIZE "," _vela_sanitizers)
  add_compile_options(-fsanitize=${_vela_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_vela_sanitizers})
  # Code that measures memory itself (the tests' memory probe) stands aside: the sanitizers'
  # shadow memory and quarantines would be in every figure.
  add_compile_definitions(VELAPNG_SANITIZED)
endif()

# The fuzz build instruments everything for coverage, so libFuzzer sees inside the decoder's
# libraries; only the fuzz targets themselves link libFuzzer (-fsanitize=fuzzer).
if(VELAPNG_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELAPNG_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()
