#!/usr/bin/env bash
# Runs a Windows console program under wine: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# PREFIX is a wine prefix of the build tree's own. The first run creates it under a lock,
# so tests started in parallel never race on a half-made prefix. No window and no prompt:
# no display is handed over, and the Mono/Gecko installers that wineboot would offer are
# switched off. WINEDEBUG is -all unless VELAPNG_WINEDEBUG says otherwise (err+module shows
# why a DLL failed to load). The ANSI code page is 932 (see below).
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

# A Japanese locale for wine alone: the ANSI code page is then 932, which holds Cyrillic and
# CJK alike, so UTF-16 file names of both kinds go through a real double-byte conversion
# (tests/plugin/file_access_test.cpp). Wine must also find the locale on the Linux side, or it
# can't name such files there; it is compiled into the prefix (LOCPATH), so the system's own
# locales stay as they are.
locale_name=ja_JP.UTF-8
locale_dir=$prefix/velapng-locale

make_locale() {
  mkdir -p "$locale_dir"
  local rc=0
  localedef -i ja_JP -f UTF-8 "$locale_dir/$locale_name" >/dev/null 2>&1 || rc=$?
  # 1 means warnings only, with the locale written.
  if ((rc > 1)) || [[ ! -f $locale_dir/$locale_name/LC_CTYPE ]]; then
    echo "wine-run.sh: localedef could not build $locale_name (is the locales package installed?)" >&2
    exit 1
  fi
}

ready=$prefix/.velapng-prefix-ready
if [[ ! -e $ready || ! -f $locale_dir/$locale_name/LC_CTYPE ]]; then
  mkdir -p "$(dirname "$prefix")"
  exec {lock}>"$prefix.lock"
  flock "$lock"
  if [[ ! -e $ready ]]; then
    rm -rf "$prefix"  # a half-made prefix from an interrupted run
    make_locale
    LOCPATH=$locale_dir LC_ALL=$locale_name wineboot --init >/dev/null 2>&1 ||
      { echo "wine-run.sh: wineboot failed for $prefix" >&2; exit 1; }
    wineserver -w
    touch "$ready"
  elif [[ ! -f $locale_dir/$locale_name/LC_CTYPE ]]; then
    make_locale  # a prefix made before the locale was
  fi
  exec {lock}>&-
fi

# Through env, so this shell itself never tries to switch to the locale.
exec env LOCPATH="$locale_dir" LC_ALL="$locale_name" wine "$@"
