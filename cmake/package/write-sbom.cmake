# Install-time step of the package (cmake/VelaPackage.cmake), after the DLL is stripped and
# gather-licences.cmake has found what it links in: VelaPNG-<version>.cdx.json, the bill of
# materials of the shipped DLL, written by write-sbom.py.
# Set by the install code before it: VELAPNG_PACKAGE_PYTHON, VELAPNG_PACKAGE_NAME,
# VELAPNG_PACKAGE_VERSION, VELAPNG_PACKAGE_EPOCH; by gather-licences.cmake:
# VELAPNG_PACKAGE_COMPONENTS.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
# Debian names its releases debian-12 in package URLs' distro qualifier.
cmake_host_system_information(RESULT distro QUERY DISTRIB_ID)
cmake_host_system_information(RESULT distro_version QUERY DISTRIB_VERSION_ID)
execute_process(
  COMMAND "${VELAPNG_PACKAGE_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/write-sbom.py"
          --out "${root}/${VELAPNG_PACKAGE_NAME}-${VELAPNG_PACKAGE_VERSION}.cdx.json"
          --dll "${root}/${VELAPNG_PACKAGE_NAME}.dll" --name "${VELAPNG_PACKAGE_NAME}"
          --version "${VELAPNG_PACKAGE_VERSION}" --epoch "${VELAPNG_PACKAGE_EPOCH}"
          --distro "${distro}-${distro_version}" ${VELAPNG_PACKAGE_COMPONENTS}
  COMMAND_ERROR_IS_FATAL ANY)
