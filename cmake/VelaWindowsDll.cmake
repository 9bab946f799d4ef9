# How this project makes Windows DLLs with mingw-w64, and how it checks what it made.
# Included by the top-level CMakeLists.txt; the functions may only be called in a Windows
# build (guard the call with if(WIN32)).
#
# The plug-in (call velapng_plugin_dll from plugin/CMakeLists.txt, inside if(WIN32)):
#
#   velapng_plugin_dll(<target> EXPORTS <file.def> LOG_LIBRARY <file.def> SOURCES <sources>...)
#       VelaPNG.dll: exactly the eight undecorated exports of the EXPORTS .def, QZ_Log.DLL
#       imported by ordinals 2 (LogPrintf) and 341 (GetBaseDirectory) only, through the
#       import library <target>_qz_log made from the LOG_LIBRARY .def (link it wherever
#       those two functions are called), a VERSIONINFO resource, no mingw runtime DLL.
#       Adds the ctest <target>_pe_check, which proves all of that on the linked file, and
#       that the Windows calls the plug-in makes are the system's own, and that the DLL holds
#       no compressor. Linked with --gc-sections (VelaSections.cmake), so nothing its exports
#       cannot reach stays in it. Link the decoder into <target> as usual.
#
# The building blocks, usable for any DLL (the PE-check tests use them on small fixtures):
#
#   velapng_import_library(<target> DEF <file.def> DLL <NAME.DLL>)
#       An interface target linking an import library that dlltool makes from the .def.
#       A line `Name @N NONAME` imports Name by ordinal N only, so the caller needs no
#       name table of the other DLL and the loader resolves the ordinal. A stand-in for that
#       DLL under wine is velapng_windows_dll with the same .def (it then exports by ordinal
#       only), placed beside the program that loads the caller or on its DLL search path.
#
#   velapng_windows_dll(<target> EXPORTS <file.def> [OUTPUT_NAME <name>]
#                       [DESCRIPTION <text>] SOURCES <sources>...)
#       A shared library named <name>.dll (no "lib" prefix) that exports exactly the names in
#       the .def: without one, a -static DLL exports every global symbol, the runtime's
#       unwinder included. Mark nothing __declspec(dllexport): the linker adds such symbols
#       to the .def's list. With DESCRIPTION it carries a VERSIONINFO resource: product
#       ${PROJECT_NAME}, file and product version ${PROJECT_VERSION}, that description.
#       libgcc, libstdc++ and winpthread are linked in (-static, as in the toolchain file).
#       Stamped with VELAPNG_SOURCE_DATE_EPOCH rather than the link time (VelaReproducible.cmake).
#
#   velapng_add_pe_check(<test> <dll-target> [EXPORTS <name>...] [ORDINAL_EXPORTS <ordinal>...]
#                        [ORDINAL_IMPORTS <NAME.DLL> <ordinal>...]
#                        [NAME_IMPORTS <NAME.DLL>:<function>,<function>...]...
#                        [VERSION_STRINGS <key>=<value>...] [ABSENT_SYMBOLS <part>...])
#       A ctest running scripts/check-pe.sh on the linked DLL; see that script for the rules.
#       The command without the file is kept in the target's VELAPNG_PE_CHECK_COMMAND, so
#       the same rules can be applied to a copy of the DLL (the release package's). That
#       command leaves ABSENT_SYMBOLS out: they are read from the symbol table, of which the
#       shipped copy, stripped, keeps only the imports.
set(VELAPNG_WINDOWS_DIR "${CMAKE_CURRENT_LIST_DIR}/windows")
if(WIN32)
  enable_language(RC)  # file scope, at the top: every DLL target below may carry a resource
  find_program(CMAKE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
  find_program(CMAKE_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
  find_program(CMAKE_NM NAMES x86_64-w64-mingw32-nm nm REQUIRED)
endif()

macro(_velapng_require_windows function_name)
  if(NOT WIN32)
    message(FATAL_ERROR "${function_name} makes Windows DLLs: call it only when WIN32")
  endif()
endmacro()

function(velapng_import_library target)
  _velapng_require_windows(velapng_import_library)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DEF;DLL" "")
  if(NOT arg_DEF OR NOT arg_DLL)
    message(FATAL_ERROR "velapng_import_library(${target}): DEF and DLL are required")
  endif()
  get_filename_component(def "${arg_DEF}" ABSOLUTE)
  set(archive "${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a")
  # dlltool names the import's symbols after the archive's path as given (_head_<path>), and
  # they stay in the DLL that links it: a bare name keeps the build directory out.
  add_custom_command(
    OUTPUT "${archive}"
    COMMAND "${CMAKE_DLLTOOL}" -d "${def}" -l "lib${target}.a" -D "${arg_DLL}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    DEPENDS "${def}"
    COMMENT "Import library for ${arg_DLL}"
    VERBATIM)
  add_custom_target(${target}_archive DEPENDS "${archive}")
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE "${archive}")
  add_dependencies(${target} ${target}_archive)
endfunction()

function(velapng_windows_dll target)
  _velapng_require_windows(velapng_windows_dll)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORTS;OUTPUT_NAME;DESCRIPTION" "SOURCES")
  if(NOT arg_EXPORTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "velapng_windows_dll(${target}): EXPORTS and SOURCES are required")
  endif()
  if(NOT arg_OUTPUT_NAME)
    set(arg_OUTPUT_NAME ${target})
  endif()
  get_filename_component(exports "${arg_EXPORTS}" ABSOLUTE)
  add_library(${target} SHARED ${arg_SOURCES} "${exports}")
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "${arg_OUTPUT_NAME}")
  target_link_options(${target} PRIVATE -static)
  velapng_reproducible_link(${target})
  if(arg_DESCRIPTION)
    _velapng_version_resource(${target} "${arg_OUTPUT_NAME}" "${arg_DESCRIPTION}")
  endif()
endfunction()

# FILEVERSION wants four numbers; the project version has three.
function(_velapng_version_resource target name description)
  set(VELAPNG_RC_NAME "${name}")
  set(VELAPNG_RC_FILE_NAME "${name}.dll")
  set(VELAPNG_RC_DESCRIPTION "${description}")
  set(VELAPNG_RC_PRODUCT "${PROJECT_NAME}")
  set(VELAPNG_RC_VERSION "${PROJECT_VERSION}")
  set(VELAPNG_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${VELAPNG_WINDOWS_DIR}/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

function(velapng_add_pe_check test_name dll_target)
  _velapng_require_windows(velapng_add_pe_check)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" ""
                        "EXPORTS;ORDINAL_EXPORTS;ORDINAL_IMPORTS;NAME_IMPORTS;VERSION_STRINGS;ABSENT_SYMBOLS")
  set(command bash "${PROJECT_SOURCE_DIR}/scripts/check-pe.sh" --objdump "${CMAKE_OBJDUMP}" --nm "${CMAKE_NM}")
  if(arg_EXPORTS)
    list(JOIN arg_EXPORTS "," exports)
    list(APPEND command --exports "${exports}")
  endif()
  if(arg_ORDINAL_EXPORTS)
    list(JOIN arg_ORDINAL_EXPORTS "," ordinals)
    list(APPEND command --ordinal-exports "${ordinals}")
  endif()
  if(arg_ORDINAL_IMPORTS)
    list(POP_FRONT arg_ORDINAL_IMPORTS dll)
    list(JOIN arg_ORDINAL_IMPORTS "," ordinals)
    list(APPEND command --ordinal-imports "${dll}:${ordinals}")
  endif()
  foreach(dll_functions IN LISTS arg_NAME_IMPORTS)
    list(APPEND command --name-imports "${dll_functions}")
  endforeach()
  foreach(pair IN LISTS arg_VERSION_STRINGS)
    list(APPEND command --version-string "${pair}")
  endforeach()
  set_property(TARGET ${dll_target} PROPERTY VELAPNG_PE_CHECK_COMMAND "${command}")
  if(arg_ABSENT_SYMBOLS)
    list(JOIN arg_ABSENT_SYMBOLS "," absent)
    list(APPEND command --absent-symbols "${absent}")
  endif()
  # The command is not the target itself, so no emulator: objdump runs on the build machine.
  add_test(NAME ${test_name} COMMAND ${command} "$<TARGET_FILE:${dll_target}>")
endfunction()

function(velapng_plugin_dll target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORTS;LOG_LIBRARY" "SOURCES")
  if(NOT arg_EXPORTS OR NOT arg_LOG_LIBRARY OR NOT arg_SOURCES)
    message(FATAL_ERROR "velapng_plugin_dll(${target}): EXPORTS, LOG_LIBRARY and SOURCES are required")
  endif()
  velapng_import_library(${target}_qz_log DEF "${arg_LOG_LIBRARY}" DLL QZ_Log.DLL)
  velapng_windows_dll(${target} EXPORTS "${arg_EXPORTS}" OUTPUT_NAME VelaPNG
                      DESCRIPTION "PNG decoder plug-in" SOURCES ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${target}_qz_log)
  velapng_warnings(${target})
  velapng_drop_unreached_sections(${target})
  # The Windows calls come from the system's DLLs. The runtime linked in imports LoadLibraryW
  # and GetProcAddress too; GDI32 is there for DeleteObject alone, and what keeps the Linux
  # layer out is that velapng_platform has no sources on Windows.
  velapng_add_pe_check(${target}_pe_check ${target}
    EXPORTS GetImageDecoderPluginArray Image32LoadFile ImageGetInfo GetImageMetaValue
            Image32LoadFromMemData ImageGetInfoFromMemData GetImageMetaValueFromMemData
            ReleaseImageMetaValue
    ORDINAL_IMPORTS QZ_Log.DLL 2 341
    NAME_IMPORTS "KERNEL32.dll:LoadLibraryW,GetProcAddress,WideCharToMultiByte" "GDI32.dll:DeleteObject"
    VERSION_STRINGS "ProductName=${PROJECT_NAME}" "FileVersion=${PROJECT_VERSION}"
                    "ProductVersion=${PROJECT_VERSION}" "OriginalFilename=VelaPNG.dll"
                    "FileDescription=PNG decoder plug-in"
    # Nothing the exports cannot reach: no compressor, no reference route.
    ABSENT_SYMBOLS libdeflate_alloc_compressor deflate_compress reconstruct_image)
endfunction()
