#!/usr/bin/env bash
# The main job: builds the plug-in and prints the header of the PNG named on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh run >&2
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset native "${corpus[@]}" >/dev/null
cmake --build --preset native --target velapng-inspect >/dev/null
exec build/native/host/velapng-inspect "$@"
