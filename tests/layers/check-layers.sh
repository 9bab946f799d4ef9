#!/usr/bin/env bash
# The layers plugin -> decoder -> pixels, held from both ends:
#   check-layers.sh NM SOURCE_DIR PIXELS_ARCHIVE DECODER_ARCHIVE
# - includes: pixels/ takes nothing from the layers above but the decoder's records and
#   result codes (decoder/records.h, decoder/result_codes.h, declarations only); decoder/
#   takes from nothing above it; plugin/ from nothing beside the layers below, the platform
#   layer and the companion ABI; the platform layer and the ABI from nothing of the
#   product; the companion stand-ins from the ABI and the platform layer alone, never the
#   plug-in's own bindings; the plug-in loader from the host's side of the plug-in
#   (plugin/plugin.h) and the platform layer;
# - calls: every function or object of ours that the pixels archive needs is defined in it,
#   and every one the decoder archive needs is defined in it or in the pixels archive.
# Prints one line per finding and exits 1 when there is any.
set -euo pipefail
(($# == 4)) || { sed -n '3p' "$0" >&2; exit 2; }
nm=$1 src=$2 pixels=$3 decoder=$4

findings=()
finding() { findings+=("$*"); }

# $1: the folder; $2: an extended regex of what its quoted includes may name.
includes_only() {
  local line
  while read -r line; do
    finding "$line"
  done < <(grep -rHnE --include='*.h' --include='*.cpp' '^#include "' "$src/$1" | grep -vE "#include \"($2)\"" || true)
}
includes_only pixels 'pixels/[a-z0-9_]+\.h|decoder/records\.h|decoder/result_codes\.h'
includes_only decoder '(decoder|pixels)/[a-z0-9_]+\.h'
includes_only plugin '(plugin|decoder|pixels|platform|abi)/[a-z0-9_]+\.h'
includes_only platform 'platform/[a-z0-9_]+\.h'
includes_only abi '(abi|platform)/[a-z0-9_]+\.h'
includes_only companions '(companions/[a-z0-9_]+|abi|platform)/[a-z0-9_]+\.h'
includes_only loader '(loader|platform)/[a-z0-9_]+\.h|plugin/plugin\.h'

# Our symbols are those of namespace velapng (mangled "7velapng").
ours() { "$nm" "$@" | awk '{ print $NF }' | grep -E '7velapng' | sort -u || true; }
# $1: the archive whose needs are checked; the rest: the archives allowed to meet them.
needs_met_by() {
  local archive=$1 symbol
  shift
  while read -r symbol; do
    [[ -n $symbol ]] && finding "$(basename "$archive") needs $symbol, which no layer at or below it defines"
  done < <(comm -23 <(ours --undefined-only "$archive") <(for a in "$@"; do ours --defined-only "$a"; done | sort -u))
}
[[ -n $(ours --defined-only "$pixels") && -n $(ours --defined-only "$decoder") ]] ||
  { echo "check-layers.sh: $nm lists no symbols of ours in the archives" >&2; exit 2; }
needs_met_by "$pixels" "$pixels"
needs_met_by "$decoder" "$decoder" "$pixels"

if ((${#findings[@]})); then
  printf 'check-layers.sh: %s\n' "${findings[@]}"
  exit 1
fi
echo "check-layers.sh: pixels and decoder reach nothing above them"
