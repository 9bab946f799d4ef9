#!/usr/bin/env bash
# The test command: installs what is missing, builds every build and runs every test.
# The Windows build comes after the native one: its reference host must match native's.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh test
scripts/check-format.sh
read -r -a corpus <<<"$(corpus_cmake_args)"

run_preset() {
  local preset=$1 start=$SECONDS
  echo "=== $preset"
  cmake --preset "$preset" "${corpus[@]}" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  echo "=== $preset: $((SECONDS - start)) s"
}

scripts/real-world.sh sample --no-check  # a few hundred PNGs from Debian packages; the soak reads them too
run_preset native
scripts/real-world.sh sample  # the sample through the plug-in, against libpng
scripts/tidy.sh     # clang-tidy over the product code, from the native build's compile commands
run_preset native-asan
run_preset native-tsan
run_preset fuzz     # every libFuzzer target for a minute over the seeds and regression files
run_preset windows  # the product's own platform: cross-built, its tests under wine
echo "=== all tests passed"
