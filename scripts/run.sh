#!/usr/bin/env bash
# The main job: builds the plug-in, its companion stand-ins and the reference host, then
# runs the host on the PNG named on the command line (the built-in sample without one).
# Arguments go to the host: [--memory] [--angle 0|90|180|270] [--out FILE.bmp] [FILE.png]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh run >&2
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset native "${corpus[@]}" >/dev/null
cmake --build --preset native --target velapng-host >/dev/null
exec build/native/bin/velapng-host "$@"
