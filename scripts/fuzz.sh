#!/usr/bin/env bash
# Runs one libFuzzer target of the fuzz build for a bounded time:
#   fuzz.sh [--build DIR] [--seeds DIR]... TARGET SECONDS [LIBFUZZER_FLAG...]
# DIR defaults to build/fuzz. The writable corpus is DIR/corpus/TARGET, kept between runs;
# the seed directories are read in place (by default every fuzz/regressions/ directory, PngSuite and
# the malformed files of the shared corpus). Any finding (crash, sanitizer report, broken
# invariant, leak, timeout, out-of-memory) is written to DIR/findings/TARGET/ and makes the
# exit status non-zero. Flags given after SECONDS override the defaults below.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

build=build/fuzz
seeds=()
usage() { sed -n '2,3p' "$0" | sed 's/^# *//' >&2; exit 2; }
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --seeds) seeds+=("$2"); shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
(($# >= 2)) || usage
target=$1 seconds=$2
shift 2

if ((${#seeds[@]} == 0)); then
  for dir in fuzz/regressions/*/; do seeds+=("${dir%/}"); done
  for arg in $(corpus_cmake_args); do seeds+=("${arg#*=}"); done
fi
binary=$build/fuzz/$target
[[ -x $binary ]] || { echo "fuzz.sh: $binary not built (cmake --build --preset fuzz)" >&2; exit 2; }
corpus=$build/corpus/$target
findings=$build/findings/$target
mkdir -p "$corpus" "$findings"

# Limits: an input that runs 10 s is a hang; one malloc above 512 MiB or a process above
# 2 GiB is a finding (the decode targets skip images whose allocations would come near).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
# The log stand-in would append a line for every temporary image of a rotated load.
export QZ_LOG_FILE=${QZ_LOG_FILE:-/dev/null}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=32768 \
  -dict=fuzz/png.dict -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$corpus" "${seeds[@]}"
