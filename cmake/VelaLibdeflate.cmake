# libdeflate is a real dependency, never vendored: natively the distribution's package
# (found through pkg-config). A cross build may name a static library and header directory
# of its own through VELAPNG_LIBDEFLATE_LIBRARY / VELAPNG_LIBDEFLATE_INCLUDE_DIR.
if(VELAPNG_LIBDEFLATE_LIBRARY)
  add_library(velapng_libdeflate INTERFACE)
  target_link_libraries(velapng_libdeflate INTERFACE ${VELAPNG_LIBDEFLATE_LIBRARY})
  target_include_directories(velapng_libdeflate SYSTEM INTERFACE ${VELAPNG_LIBDEFLATE_INCLUDE_DIR})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
  add_library(velapng_libdeflate INTERFACE)
  target_link_libraries(velapng_libdeflate INTERFACE PkgConfig::LIBDEFLATE)
endif()
