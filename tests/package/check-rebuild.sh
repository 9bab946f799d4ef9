#!/usr/bin/env bash
# Builds VelaPNG.dll a second time from the same sources, in a build directory of another
# path and length, and compares the bytes with the build's own: a path or a clock reading
# that reaches the DLL makes them differ.
#   check-rebuild.sh SOURCE_DIR BUILD_DLL EPOCH LIBDEFLATE_SOURCE
# EPOCH is the build's SOURCE_DATE_EPOCH (empty for none), handed on to the second build.
set -euo pipefail
(($# == 4)) || { sed -n '5,6p' "$0" >&2; exit 2; }
source_dir=$1 build_dll=$2 epoch=$3 libdeflate=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=$work/another/build-directory
epoch_env=()
[[ -n $epoch ]] && epoch_env=("SOURCE_DATE_EPOCH=$epoch")
# The test suites stay unconfigured: they change nothing in the DLL.
if ! env "${epoch_env[@]}" cmake -S "$source_dir" --preset windows -B "$build" -DVELAPNG_BUILD_TESTS=OFF \
       "-DVELAPNG_LIBDEFLATE_SOURCE_DIR=$libdeflate" >"$work/build.log" 2>&1 ||
   ! cmake --build "$build" --target VelaPNG >>"$work/build.log" 2>&1; then
  cat "$work/build.log"
  exit 1
fi
if ! cmp "$build_dll" "$build/bin/VelaPNG.dll"; then
  echo "check-rebuild.sh: two builds of one tree differ"
  exit 1
fi
echo "check-rebuild.sh: VelaPNG.dll rebuilt in $build is the same bytes: $(sha256sum <"$build_dll" | cut -c1-64)"
