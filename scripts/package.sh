#!/usr/bin/env bash
# Makes the release package: the Windows build's VelaPNG.dll, with LICENSE, the third-party
# notices and licence texts, INSTALL.txt and SHA256SUMS, as
# build/windows/package/VelaPNG-<version>-win64.zip (CPack; cmake/VelaPackage.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh test  # the cross toolchain and libdeflate's sources
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset windows "${corpus[@]}" >/dev/null
cmake --build --preset windows-dll
cpack --config build/windows/CPackConfig.cmake
