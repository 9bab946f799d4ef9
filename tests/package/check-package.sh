#!/usr/bin/env bash
# The release package as a user receives it: made by CPack into a temporary directory,
# unzipped, and held to its file list, its SHA256SUMS and the plug-in's PE check.
#   check-package.sh CPACK CPACK_CONFIG PACKAGE_NAME PE_CHECK_COMMAND...
# PACKAGE_NAME is the zip's name without .zip, also its top directory; the PE check command
# gets the unzipped DLL as its last argument.
set -euo pipefail
(($# >= 4)) || { sed -n '4p' "$0" >&2; exit 2; }
cpack=$1 config=$2 name=$3
shift 3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
[[ -f $work/out/$name.zip ]] || { echo "no $name.zip; CPack made: $(ls "$work/out")"; exit 1; }
unzip -q "$work/out/$name.zip" -d "$work/open"

failed=0
fail() { echo "check-package.sh: $*"; failed=1; }

expected='INSTALL.txt
LICENSE
SHA256SUMS
THIRD-PARTY-NOTICES.md
VelaPNG.dll
licenses/gcc.txt
licenses/libdeflate.txt
licenses/mingw-w64.txt'
[[ $(ls "$work/open") == "$name" ]] || fail "the zip's top level is not just $name/: $(ls "$work/open")"
root=$work/open/$name
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ $actual == "$expected" ]] || fail "files differ from the expected list:
$(diff <(echo "$expected") <(echo "$actual") || true)"

summed=$(awk '{ print $2 }' "$root/SHA256SUMS" | LC_ALL=C sort)
[[ $summed == "$(grep -vx SHA256SUMS <<<"$expected")" ]] || fail "SHA256SUMS does not list exactly the other files"
(cd "$root" && sha256sum --check --strict --quiet SHA256SUMS) || fail "a SHA-256 sum does not match"

# Each text is the one its name promises, not an empty or misplaced file.
grep -q 'MIT License' "$root/LICENSE" || fail "LICENSE is not the MIT licence"
grep -q 'Eric Biggers' "$root/licenses/libdeflate.txt" || fail "licenses/libdeflate.txt is not libdeflate's COPYING"
grep -q 'winpthreads' "$root/licenses/mingw-w64.txt" || fail "licenses/mingw-w64.txt does not cover winpthreads"
grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$root/licenses/gcc.txt" || fail "licenses/gcc.txt lacks the runtime exception"

"$@" "$root/VelaPNG.dll" || fail "the packaged DLL fails the PE check"
((failed == 0)) && echo "check-package.sh: $name.zip holds what it should"
exit $failed
