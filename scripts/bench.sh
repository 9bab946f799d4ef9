#!/usr/bin/env bash
# The benchmark command: installs the peers, the corpus tools and the Windows toolchain,
# builds the bench preset (optimised, in build/bench, apart from the test builds), makes the
# corpus if it is missing or its recipe changed, and runs velapng_bench, which prints its
# tables and writes build/bench/bench-results.csv and build/bench/bench-chart.svg. Arguments
# go to velapng_bench (e.g. --sets adaptive --budget 1 --only wood).
#
# Then the Windows DLL's own speed: the windows preset's velapng_dll_bench loads VelaPNG.dll
# under wine and times a few photographs of the adaptive set, printed beside the native
# plug-in's figures for the same files (wall time, best of each), so a Windows build that
# lost its optimisation or its vector paths shows.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh bench
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset bench "${corpus[@]}" >/dev/null
cmake --build --preset bench
bench/make-corpus.sh build/bench/bench-corpus
csv=build/bench/bench-results.csv
build/bench/bench/velapng_bench --corpus build/bench/bench-corpus --csv "$csv" \
  --chart build/bench/bench-chart.svg "$@"

dll_files=(wood-rgb8.png blinds-rgb8.png mosaic-rgba8.png)
echo
echo "== the Windows DLL (windows preset, under wine) against the native plug-in (bench preset)"
cmake --preset windows "${corpus[@]}" >/dev/null
cmake --build --preset windows --target velapng_dll_bench >/dev/null
paths=()
for file in "${dll_files[@]}"; do paths+=("Z:$PWD/build/bench/bench-corpus/adaptive/$file"); done
dll_out=$(scripts/wine-run.sh build/windows/wine-prefix build/windows/bin/velapng_dll_bench.exe "${paths[@]}")
echo "$dll_out"
# Native: the plug-in's best thread CPU time on the same files, from this run's CSV.
echo "$dll_out" | awk -F, '
  FNR == NR { if (FNR > 1) { split($0, f, " +"); dll[f[1]] = f[3] }; next }
  FNR == 1 { printf "%-28s %16s %13s %10s\n", "file", "native Mpx/s", "DLL Mpx/s", "DLL/native" }
  $1 == "adaptive" && $8 == "plugin" && ($2 in dll) && $14 > 0 {
    native = $3 * $4 / $14 * 1e3
    printf "%-28s %16.1f %13.1f %10.2f\n", $2, native, dll[$2], dll[$2] / native
  }
' - "$csv"
