#!/usr/bin/env bash
# The release package as a user receives it: made twice into temporary directories (the two
# zips must be the same bytes), unzipped, and held to its file list, its SHA256SUMS, its
# zip entries' fixed times, modes and order, its bill of materials against versions asked
# of dpkg and of libdeflate's sources here, and the plug-in's PE check.
#   check-package.sh MAKE_PACKAGE NAME VERSION EPOCH LIBDEFLATE_SOURCE BUILD_DLL SOURCE_DIR
#                    PE_CHECK_COMMAND...
# MAKE_PACKAGE is the build's make-package.cmake; NAME the zip's name without .zip, also its
# top directory; EPOCH the build's SOURCE_DATE_EPOCH (0 for none); BUILD_DLL the build's
# own, unstripped VelaPNG.dll. The PE check command gets the unzipped DLL as its last argument.
set -euo pipefail
(($# >= 8)) || { sed -n '6,7p' "$0" >&2; exit 2; }
make_package=$1 name=$2 version=$3 epoch=$4 libdeflate=$5 build_dll=$6 source_dir=$7
shift 7
here=$(dirname "$0")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for out in first second; do
  cmake "-DOUT_DIR=$work/$out" -P "$make_package" >"$work/$out.log" 2>&1 || { cat "$work/$out.log"; exit 1; }
done
[[ -f $work/first/$name.zip ]] || { echo "no $name.zip; packaging made: $(ls "$work/first")"; exit 1; }
unzip -q "$work/first/$name.zip" -d "$work/open"

failed=0
fail() { echo "check-package.sh: $*"; failed=1; }

cmp -s "$work/first/$name.zip" "$work/second/$name.zip" || fail "packaging the same build twice gave two different zips"

sbom=VelaPNG-$version.cdx.json
expected=$(LC_ALL=C sort <<EOF
INSTALL.txt
LICENSE
SHA256SUMS
THIRD-PARTY-NOTICES.md
VelaPNG.dll
$sbom
licenses/gcc.txt
licenses/libdeflate.txt
licenses/mingw-w64.txt
EOF
)
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

# The zip's entries: sorted, every one dated EPOCH (as zip stores it: UTC, even seconds, 1980
# at the earliest) and rw-r--r--, with no extra field that could carry a builder's owner.
zip_date=$(TZ=UTC date -d "@$((epoch < 315532800 ? 315532800 : epoch / 2 * 2))" '+%Y %-m %-d %-H %-M %-S')
python3 - "$work/first/$name.zip" "$zip_date" <<'EOF' || fail "the zip's entries are not fixed"
import sys, zipfile
entries = zipfile.ZipFile(sys.argv[1]).infolist()
names = [entry.filename for entry in entries]
wrong = [e.filename for e in entries
         if " ".join(map(str, e.date_time)) != sys.argv[2] or e.external_attr >> 16 != 0o100644 or e.extra]
if names != sorted(names) or wrong:
    sys.exit(f"order {names}; entries with another date, mode or an extra field: {wrong}")
EOF

# Both DLLs' time stamp is EPOCH, not the clock's at link or strip (objdump prints it as
# ctime does).
for dll in "$build_dll" "$root/VelaPNG.dll"; do
  stamp=$(TZ=UTC x86_64-w64-mingw32-objdump -p "$dll" | awk -F '\t+' '$1 == "Time/Date" { print $2 }')
  [[ $stamp == "$(TZ=UTC date -d "@$epoch" '+%a %b %e %H:%M:%S %Y')" ]] || fail "$dll is stamped $stamp, not $epoch"
done

# No directory of this checkout or build (the DLL's parent's parent) in either DLL, as a path
# or as a symbol made of one (dlltool's _head_ symbols turn every other character into '_').
for dll in "$build_dll" "$root/VelaPNG.dll"; do
  for dir in "$source_dir" "$(dirname "$(dirname "$build_dll")")" "$libdeflate" "$(realpath "$libdeflate")"; do
    ! grep -q -a -F -e "$dir" -e "${dir//[^A-Za-z0-9]/_}" "$dll" || fail "$dll holds the path $dir"
  done
done

# The bill of materials, against what dpkg and libdeflate's sources say here.
deb() { dpkg-query -W -f='${Version} ${Architecture}' "$1"; }
header_version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\(.*\)"/\1/p' "$libdeflate/libdeflate.h")
read -r crt_version crt_arch <<<"$(deb mingw-w64-x86-64-dev)"
read -r gcc_version gcc_arch <<<"$(deb gcc-mingw-w64-x86-64-posix)"
read -r gxx_version gxx_arch <<<"$(deb g++-mingw-w64-x86-64-posix)"
python3 "$here/check-sbom.py" "$root/$sbom" "$root/VelaPNG.dll" "$version" \
  "$(TZ=UTC date -d "@$epoch" '+%Y-%m-%dT%H:%M:%SZ')" \
  "libdeflate $header_version libdeflate $(dpkg-parsechangelog -l "$libdeflate/debian/changelog" -S Version) source" \
  "mingw-w64 ${crt_version%-*} mingw-w64-x86-64-dev $crt_version $crt_arch" \
  "winpthreads ${crt_version%-*} mingw-w64-x86-64-dev $crt_version $crt_arch" \
  "libgcc ${gcc_version%-*} gcc-mingw-w64-x86-64-posix $gcc_version $gcc_arch" \
  "libstdc++ ${gxx_version%-*} g++-mingw-w64-x86-64-posix $gxx_version $gxx_arch" ||
  fail "the bill of materials disagrees with the build"

"$@" "$root/VelaPNG.dll" || fail "the packaged DLL fails the PE check"
((failed == 0)) && echo "check-package.sh: $name.zip holds what it should"
exit $failed
