#!/usr/bin/env bash
# The benchmark command: installs the peers and corpus tools, builds the bench preset
# (optimised, in build/bench, apart from the test builds), makes the corpus if it is missing
# and runs velapng_bench, which prints its tables and writes build/bench/bench-results.csv. Arguments go to velapng_bench
# (e.g. --sets photo --budget 1 --only wood).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh bench
cmake --preset bench >/dev/null
cmake --build --preset bench
bench/make-corpus.sh build/bench/bench-corpus
exec build/bench/bench/velapng_bench --corpus build/bench/bench-corpus --csv build/bench/bench-results.csv "$@"
