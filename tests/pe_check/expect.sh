#!/usr/bin/env bash
# expect.sh RC REGEX COMMAND...: passes when COMMAND exits with RC and prints a line that
# matches the extended regular expression REGEX.
set -uo pipefail
want_rc=$1 pattern=$2
shift 2
output=$("$@" 2>&1)
rc=$?
printf '%s\n' "$output"
if [[ $rc != "$want_rc" ]]; then
  echo "expect.sh: exit code $rc, wanted $want_rc"
  exit 1
fi
if ! grep -Eq -- "$pattern" <<<"$output"; then
  echo "expect.sh: no line matches /$pattern/"
  exit 1
fi
