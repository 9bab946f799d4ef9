#!/usr/bin/env bash
# Runs a Windows console program under wine: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# PREFIX is a wine prefix of the build tree's own. The first run creates it under a lock,
# so tests started in parallel never race on a half-made prefix. No window and no prompt:
# no display is handed over, and the Mono/Gecko installers that wineboot would offer are
# switched off. WINEDEBUG is -all unless VELAPNG_WINEDEBUG says otherwise (err+module shows
# why a DLL failed to load).
set -euo pipefail

if (($# < 2)); then
  echo "usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
prefix=$(realpath -m -- "$1")  # wine wants an absolute path
shift

export WINEPREFIX=$prefix WINEARCH=win64
export WINEDEBUG=${VELAPNG_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

ready=$prefix/.velapng-prefix-ready
if [[ ! -e $ready ]]; then
  mkdir -p "$(dirname "$prefix")"
  exec {lock}>"$prefix.lock"
  flock "$lock"
  if [[ ! -e $ready ]]; then
    rm -rf "$prefix"  # a half-made prefix from an interrupted run
    wineboot --init >/dev/null 2>&1 || { echo "wine-run.sh: wineboot failed for $prefix" >&2; exit 1; }
    wineserver -w
    touch "$ready"
  fi
  exec {lock}>&-
fi

exec wine "$@"
