# Sanitizers apply to everything built in the tree (our code, tests and stand-ins alike),
# so a report can never hide in a library that was built without them.
if(VELAPNG_SANITIZE)
  list(JOIN VELAPNG_SANITIZE "," _vela_sanitizers)
  add_compile_options(-fsanitize=${_vela_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_vela_sanitizers})
endif()
