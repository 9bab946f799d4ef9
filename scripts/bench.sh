#!/usr/bin/env bash
# The benchmark command: installs the peers and corpus tools, builds the native preset with
# the benchmarks on, makes the corpus if it is missing and runs velapng_bench, which prints
# its tables and writes build/native/bench-results.csv. Arguments go to velapng_bench
# (e.g. --sets photo --budget 1 --only wood).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh bench
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset native "${corpus[@]}" -DVELAPNG_BUILD_BENCH=ON >/dev/null
cmake --build --preset native --target velapng_bench
bench/make-corpus.sh build/native/bench-corpus
exec build/native/bench/velapng_bench --corpus build/native/bench-corpus --csv build/native/bench-results.csv "$@"
