# Linking only what the plug-in reaches. The product's libraries put every function and
# object in a section of their own; the plug-in is linked with --gc-sections, so whatever none
# of its eight exports reaches stays out of libVelaPNG.so and VelaPNG.dll: the compressor the
# full state sets up, the reference route, the parts of libdeflate that compress.
# (The Windows build compiles libdeflate with the same flags, VelaLibdeflate.cmake.)
set(VELAPNG_SECTION_FLAGS -ffunction-sections -fdata-sections)

function(velapng_own_sections target)
  target_compile_options(${target} PRIVATE ${VELAPNG_SECTION_FLAGS})
endfunction()

function(velapng_drop_unreached_sections target)
  target_link_options(${target} PRIVATE "LINKER:--gc-sections")
endfunction()
