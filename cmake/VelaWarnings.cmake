# One place for the warning set, so every target of ours builds with the same rules.
function(velapng_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion
                                           $<$<BOOL:${VELAPNG_WERROR}>:-Werror>)
endfunction()
