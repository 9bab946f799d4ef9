#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over the product code (decoder/ pixels/ plugin/
# platform/ abi/ loader/ companions/ host/), as the native build compiles it (its compile_commands.json), two sources
# at a time. Prints each finding once, a header's included, and exits 1 when there is any.
# Usage: scripts/tidy.sh [BUILD_DIR]   (default build/native, configured: cmake --preset native)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/native}
database="$build/compile_commands.json"
[[ -f $database ]] || { echo "tidy.sh: no $database; configure the build first" >&2; exit 2; }

product='(decoder|pixels|plugin|platform|abi|loader|companions|host)/'

mapfile -t sources < <(sed -n 's/^ *"file": *"\(.*\)",\{0,1\}$/\1/p' "$database" | grep -E "^$root/$product" | sort -u)
((${#sources[@]})) || { echo "tidy.sh: $database lists no product sources" >&2; exit 2; }

# One log per source, so the two processes never interleave their lines.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
tidy_one() {
  clang-tidy -p "$build" --quiet "$1" >"$2" 2>&1 || echo "tidy.sh: clang-tidy failed on ${1#"$root/"}" >>"$2"
}
start=$SECONDS
for i in "${!sources[@]}"; do
  while (($(jobs -rp | wc -l) >= 2)); do wait -n; done
  tidy_one "${sources[i]}" "$logs/$i.log" &
done
wait

findings=$(cat "$logs"/*.log | grep -E '^(/[^:]+:[0-9]+:[0-9]+: (warning|error): .*\]$|tidy.sh: )' |
  sed "s|^$root/||" | sort -u || true)
if [[ -n $findings ]]; then
  echo "$findings"
  echo "tidy.sh: $(wc -l <<<"$findings") findings in ${#sources[@]} sources ($((SECONDS - start)) s)"
  exit 1
fi
echo "tidy.sh: ${#sources[@]} sources clean ($((SECONDS - start)) s)"
