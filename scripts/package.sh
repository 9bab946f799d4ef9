#!/usr/bin/env bash
# Makes the release package: the Windows build's VelaPNG.dll, with LICENSE, the third-party
# notices and licence texts, its CycloneDX bill of materials, INSTALL.txt and SHA256SUMS, as
# build/windows/package/VelaPNG-<version>-win64.zip (cmake/VelaPackage.cmake).
# The same commit gives the same bytes from any checkout: the DLL, the zip entries and the
# bill of materials carry the last commit's time, or SOURCE_DATE_EPOCH when it is set
# (scripts/check-reproducible.sh proves it).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh test  # the cross toolchain, python3 and libdeflate's sources
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset windows "${corpus[@]}" >/dev/null
cmake --build --preset windows-dll
cmake -P build/windows/make-package.cmake
