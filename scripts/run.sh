#!/usr/bin/env bash
# The main job: builds the plug-in, its companion stand-ins and the reference host, then
# runs the host on the PNG named on the command line (the built-in sample without one).
# Arguments go to the host: [--memory] [--angle 0|90|180|270] [--out FILE.bmp] [FILE.png]
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")/.."
source scripts/lib.sh

scripts/setup.sh run >&2
read -r -a corpus <<<"$(corpus_cmake_args)"
cmake --preset native "${corpus[@]}" >/dev/null
cmake --build --preset native --target velapng-host >/dev/null
# File names on the command line, and the BMP written, are the caller's directory's.
host="$PWD/build/native/bin/velapng-host"
cd "$caller_dir"
exec "$host" "$@"
