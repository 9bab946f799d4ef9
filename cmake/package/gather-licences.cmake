# Install-time step of the package (cmake/VelaPackage.cmake): puts the full licence texts of
# what VelaPNG.dll links in under licenses/, and refuses to go on while THIRD-PARTY-NOTICES.md
# names other versions than the ones found. The texts come from where the linked code came
# from: libdeflate's COPYING in the source tree the build compiled, and the copyright file of
# each Debian package that installed a runtime library the compiler links. What it finds is
# left in VELAPNG_PACKAGE_COMPONENTS for the bill of materials (write-sbom.cmake).
# Set by the install code before it: VELAPNG_PACKAGE_COMPILER, VELAPNG_PACKAGE_LIBDEFLATE_SOURCE,
# VELAPNG_PACKAGE_NOTICES.
set(licences "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/licenses")
file(READ "${VELAPNG_PACKAGE_NOTICES}" notices)

function(package_fail message)
  message(FATAL_ERROR "package: ${message}")
endfunction()

# The notices' table row for a component starts "| <component> | <version> |".
function(package_require_notice component version)
  string(FIND "${notices}" "| ${component} | ${version} |" at)
  if(at EQUAL -1)
    package_fail("THIRD-PARTY-NOTICES.md has no row '| ${component} | ${version} |': the build links ${component} ${version}")
  endif()
endfunction()

# The Debian package that installed the library the compiler links by that name, the
# upstream part of the package's version (no epoch, no Debian revision), the full version and
# the package's architecture. The binary package's version, not its source's: gcc-mingw-w64
# builds 12.2.0-14+25.2 from a source versioned 25.2.
function(package_linked_library library out)
  execute_process(COMMAND "${VELAPNG_PACKAGE_COMPILER}" "-print-file-name=${library}"
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" ABSOLUTE)
  execute_process(COMMAND dpkg-query -S "${path}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT owner MATCHES "^([^:, ]+)")
    package_fail("no Debian package owns ${path}, which the DLL links")
  endif()
  set(package "${CMAKE_MATCH_1}")
  execute_process(COMMAND dpkg-query -W "-f=\${Version} \${Architecture}" "${package}" OUTPUT_VARIABLE found
                  RESULT_VARIABLE failed)
  if(failed OR NOT found MATCHES "^(([0-9]+:)?([^: ]+)-[^- ]+) ([a-z0-9-]+)$")
    package_fail("dpkg-query cannot tell the version of ${package}")
  endif()
  set(${out} "${package};${CMAKE_MATCH_3};${CMAKE_MATCH_1};${CMAKE_MATCH_4}" PARENT_SCOPE)
endfunction()

# One component for the bill of materials: a name, its upstream version, its licence as an
# SPDX expression, and where it came from (write-sbom.py's --deb or --deb-source).
set(VELAPNG_PACKAGE_COMPONENTS "")
macro(package_component kind name version licence)
  list(APPEND VELAPNG_PACKAGE_COMPONENTS "${kind}" "${name}" "${version}" "${licence}" ${ARGN})
endmacro()

# A component linked from a Debian binary package, from package_linked_library's record.
function(package_debian_component name found licence)
  list(GET found 0 package)
  list(GET found 1 version)
  list(GET found 2 full_version)
  list(GET found 3 arch)
  package_component(--deb "${name}" "${version}" "${licence}" "${package}" "${full_version}" "${arch}")
  set(VELAPNG_PACKAGE_COMPONENTS "${VELAPNG_PACKAGE_COMPONENTS}" PARENT_SCOPE)
endfunction()

# licenses/<name> from the copyright files of the packages given: each distinct text once,
# under a line naming the packages it comes from.
function(package_debian_licence name)
  set(packages ${ARGN})
  list(REMOVE_DUPLICATES packages)
  set(hashes "")
  foreach(package IN LISTS packages)
    set(copyright "/usr/share/doc/${package}/copyright")
    if(NOT EXISTS "${copyright}")
      package_fail("${copyright} is missing")
    endif()
    execute_process(COMMAND dpkg-query -W "-f=\${Version}" "${package}" OUTPUT_VARIABLE version)
    file(SHA256 "${copyright}" hash)
    list(FIND hashes "${hash}" known)
    if(known EQUAL -1)
      list(APPEND hashes "${hash}")
      set(source_${hash} "${copyright}")
    endif()
    list(APPEND from_${hash} "${package} (${version})")
  endforeach()
  set(text "")
  foreach(hash IN LISTS hashes)
    list(JOIN from_${hash} ", " from)
    list(LENGTH from_${hash} count)
    set(noun "package")
    if(count GREATER 1)
      set(noun "packages")
    endif()
    file(READ "${source_${hash}}" body)
    string(APPEND text "The copyright file of the Debian ${noun} ${from}, ${source_${hash}}:\n\n${body}\n")
  endforeach()
  file(WRITE "${licences}/${name}" "${text}")
endfunction()

# libdeflate: the source tree the build compiled.
set(header "${VELAPNG_PACKAGE_LIBDEFLATE_SOURCE}/libdeflate.h")
set(copying "${VELAPNG_PACKAGE_LIBDEFLATE_SOURCE}/COPYING")
if(NOT EXISTS "${header}" OR NOT EXISTS "${copying}")
  package_fail("libdeflate's sources are not in ${VELAPNG_PACKAGE_LIBDEFLATE_SOURCE}")
endif()
file(STRINGS "${header}" line REGEX "#define LIBDEFLATE_VERSION_STRING")
if(NOT line MATCHES "\"([^\"]+)\"")
  package_fail("${header} states no version")
endif()
set(libdeflate_version "${CMAKE_MATCH_1}")
package_require_notice(libdeflate "${libdeflate_version}")
# The Debian source package's version (patches included) heads its changelog.
file(STRINGS "${VELAPNG_PACKAGE_LIBDEFLATE_SOURCE}/debian/changelog" line LIMIT_COUNT 1)
if(NOT line MATCHES "^([a-z0-9.+-]+) \\(([^)]+)\\)")
  package_fail("${VELAPNG_PACKAGE_LIBDEFLATE_SOURCE} is not an unpacked Debian source package")
endif()
package_component(--deb-source libdeflate "${libdeflate_version}" MIT "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
file(MAKE_DIRECTORY "${licences}")
file(COPY_FILE "${copying}" "${licences}/libdeflate.txt")

# mingw-w64: the C runtime's import library stands for the start-up code and import
# libraries beside it; winpthreads comes in with libstdc++'s threads.
package_linked_library(libmsvcrt.a crt)
package_linked_library(libwinpthread.a winpthread)
list(GET crt 1 version)
package_require_notice("mingw-w64 runtime" "${version}")
list(GET winpthread 1 version)
package_require_notice(winpthreads "${version}")
list(GET crt 0 crt_package)
list(GET winpthread 0 winpthread_package)
package_debian_licence(mingw-w64.txt ${crt_package} ${winpthread_package})
# The licences of the parts linked: the start-up code's ZPL with the MIT, BSD and public
# domain files beside it; winpthreads' MIT with pthread.h's BSD.
package_debian_component(mingw-w64 "${crt}" "ZPL-2.1 AND MIT AND BSD-3-Clause AND LicenseRef-public-domain")
package_debian_component(winpthreads "${winpthread}" "MIT AND BSD-3-Clause")

# GCC's runtime. The packages' versions are GCC's, where the compiler calls itself "12-posix".
package_linked_library(libgcc.a libgcc)
package_linked_library(libstdc++.a libstdcxx)
list(GET libgcc 1 version)
package_require_notice(libgcc "${version}")
list(GET libstdcxx 1 version)
package_require_notice(libstdc++ "${version}")
list(GET libgcc 0 libgcc_package)
list(GET libstdcxx 0 libstdcxx_package)
package_debian_licence(gcc.txt ${libgcc_package} ${libstdcxx_package})
package_debian_component(libgcc "${libgcc}" "GPL-3.0-or-later WITH GCC-exception-3.1")
package_debian_component(libstdc++ "${libstdcxx}" "GPL-3.0-or-later WITH GCC-exception-3.1")
