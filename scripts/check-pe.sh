#!/usr/bin/env bash
# Checks the surface of a Windows DLL, read with `objdump -p`:
#   check-pe.sh [--objdump TOOL] [--nm TOOL] [--exports NAME,...] [--ordinal-exports N,...]
#               [--ordinal-imports DLL:N,...] [--name-imports DLL:NAME,...]...
#               [--version-string KEY=VALUE]... [--absent-symbols PART,...] FILE.dll
# Passes (exit 0) only when
#   - the exported names are exactly the list, undecorated, and the exports without a name
#     are exactly the ordinals (decimal) of --ordinal-exports (by default none);
#   - DLL, when named, is imported by exactly those ordinals (decimal) and by no name;
#   - each --name-imports DLL provides at least those functions, imported by name (the
#     platform's own, not a stand-in compiled into the file);
#   - no mingw runtime DLL (libgcc_s*, libstdc++*, libwinpthread*) is imported;
#   - each KEY=VALUE stands in the version resource's string table;
#   - no symbol of the file's symbol table (read with nm) has a PART of --absent-symbols in
#     its name; a file without a symbol table (a stripped one) fails this, as there is
#     nothing to tell absence by.
# Otherwise it prints one line per finding and exits 1; 2 for bad usage or an unreadable file.
set -euo pipefail

objdump=x86_64-w64-mingw32-objdump
nm=x86_64-w64-mingw32-nm
exports=
ordinal_exports=
ordinal_imports=
name_imports=()
version_strings=()
absent_symbols=
usage() { sed -n '2,5p' "$0" | sed 's/^# *//' >&2; exit 2; }
while (($#)); do
  case $1 in
    --objdump) objdump=$2; shift 2 ;;
    --nm) nm=$2; shift 2 ;;
    --exports) exports=$2; shift 2 ;;
    --ordinal-exports) ordinal_exports=$2; shift 2 ;;
    --ordinal-imports) ordinal_imports=$2; shift 2 ;;
    --name-imports) name_imports+=("$2"); shift 2 ;;
    --version-string) version_strings+=("$2"); shift 2 ;;
    --absent-symbols) absent_symbols=$2; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
(($# == 1)) && [[ -n $exports || -n $ordinal_exports ]] || usage
dll=$1
dump=$("$objdump" -p "$dll") || { echo "check-pe.sh: $objdump cannot read $dll" >&2; exit 2; }

findings=()
finding() { findings+=("$*"); }

# --- Exports -------------------------------------------------------------------------------
# Names follow the "[Ordinal/Name Pointer] Table" heading, one "[ i] Name" line each.
actual_exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
                      on && /^[ \t]*$/ { on = 0 }
                      on { sub(/^[ \t]*\[[ \t]*[0-9]+\][ \t]*/, ""); print }' <<<"$dump" | sort -u)
wanted_exports=$(tr ',' '\n' <<<"$exports" | sed '/^$/d' | sort -u)
while read -r name; do
  if [[ -n $name ]]; then finding "export '$name' is not expected"; fi
done < <(comm -23 <(echo "$actual_exports") <(echo "$wanted_exports"))
while read -r name; do
  if [[ -n $name ]]; then finding "export '$name' is missing"; fi
done < <(comm -13 <(echo "$actual_exports") <(echo "$wanted_exports"))
# An address-table slot is "[ i] +base[ n]": index i, ordinal n. The name table's lines
# "[ i] Name" give the index each name points at; a slot no name points at is an export by
# ordinal only.
named_indices=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
                     on && /^[ \t]*$/ { on = 0 }
                     on && match($0, /\[[ \t]*[0-9]+\]/) { print substr($0, RSTART + 1, RLENGTH - 2) + 0 }' <<<"$dump")
ordinal_only=$(awk -v named="$(tr '\n' ' ' <<<"$named_indices")" '
                 BEGIN { n = split(named, list, " "); for (k = 1; k <= n; ++k) has[list[k]] = 1 }
                 /\+base\[/ { line = $0; gsub(/[][]/, " ", line); split(line, f, " ")
                              if (!((f[1] + 0) in has)) print f[3] + 0 }' <<<"$dump" | sort -n -u)
wanted_ordinal_only=$(tr ',' '\n' <<<"$ordinal_exports" | sed '/^$/d' | sort -n -u)
while read -r n; do
  if [[ -n $n ]]; then finding "ordinal $n is exported without a name but not expected"; fi
done < <(comm -23 <(echo "$ordinal_only" | sort) <(echo "$wanted_ordinal_only" | sort))
while read -r n; do
  if [[ -n $n ]]; then finding "ordinal $n is not exported by ordinal alone"; fi
done < <(comm -13 <(echo "$ordinal_only" | sort) <(echo "$wanted_ordinal_only" | sort))

# --- Imports -------------------------------------------------------------------------------
# One line per imported function: "DLL ordinal HEX" or "DLL name NAME". An import by
# ordinal has the top bit of its 64-bit thunk set and no member name.
imports=$(awk '/^\tDLL Name: / { dll = $3; on = 1; next }
               on && /^[ \t]*$/ { on = 0; next }
               on && /vma:/ { next }
               on && length($1) == 16 && substr($1, 1, 1) == "8" { print dll, "ordinal", $2; next }
               on { print dll, "name", $3 }' <<<"$dump")
imported_dlls=$(awk '/^\tDLL Name: / { print $3 }' <<<"$dump")

while read -r name; do
  case ${name,,} in
    libgcc_s*|libstdc++*|libwinpthread*) finding "imports the mingw runtime DLL $name" ;;
  esac
done <<<"$imported_dlls"

if [[ -n $ordinal_imports ]]; then
  want_dll=${ordinal_imports%%:*}
  want_ordinals=$(tr ',' '\n' <<<"${ordinal_imports#*:}" | sed '/^$/d' | sort -n -u)
  from_dll=$(awk -v d="${want_dll,,}" 'tolower($1) == d' <<<"$imports")
  [[ -n $from_dll ]] || finding "$want_dll is not imported"
  got_ordinals=$(while read -r _ kind value; do
                   if [[ $kind == ordinal ]]; then echo $((16#$value)); fi
                 done <<<"$from_dll" | sort -n -u)
  while read -r _ kind value; do
    if [[ $kind == name ]]; then finding "$want_dll: '$value' is imported by name"; fi
  done <<<"$from_dll"
  while read -r n; do
    if [[ -n $n ]]; then finding "$want_dll: ordinal $n is imported but not expected"; fi
  done < <(comm -23 <(echo "$got_ordinals" | sort) <(echo "$want_ordinals" | sort))
  while read -r n; do
    if [[ -n $n ]]; then finding "$want_dll: ordinal $n is not imported"; fi
  done < <(comm -13 <(echo "$got_ordinals" | sort) <(echo "$want_ordinals" | sort))
fi

for pair in "${name_imports[@]}"; do
  want_dll=${pair%%:*}
  got_names=$(awk -v d="${want_dll,,}" 'tolower($1) == d && $2 == "name" { print $3 }' <<<"$imports")
  while read -r name; do
    if [[ -n $name ]] && ! grep -qxF -- "$name" <<<"$got_names"; then
      finding "$want_dll: '$name' is not imported by name"
    fi
  done < <(tr ',' '\n' <<<"${pair#*:}")
done

# --- Version resource ----------------------------------------------------------------------
# A String entry is its UTF-16 key, NUL, padding to 32 bits, then its UTF-16 value and NUL.
for pair in "${version_strings[@]}"; do
  key=${pair%%=*} value=${pair#*=}
  perl -e 'my ($file, $key, $value) = @ARGV;
           open(my $in, "<:raw", $file) or exit 2; local $/; my $bytes = <$in>;
           sub utf16 { join "", map { $_ . "\0" } split //, shift }
           my ($k, $v) = (utf16($key), utf16($value));
           exit($bytes =~ /\Q$k\E\0\0(?:\0\0)?\Q$v\E\0\0/ ? 0 : 1)' "$dll" "$key" "$value" ||
    finding "version string $key is not '$value'"
done

# --- Symbols that must not be there -------------------------------------------------------
# nm lists one symbol a line, its name last: what the file defines and what it imports.
if [[ -n $absent_symbols ]]; then
  symbols=$("$nm" "$dll" 2>/dev/null | awk 'NF >= 2 { print $NF }' | sort -u || true)
  if [[ -z $symbols ]]; then
    finding "has no symbol table to tell absent symbols by"
  fi
  while read -r part; do
    hits=$(grep -F -- "$part" <<<"$symbols" | tr '\n' ' ' || true)
    if [[ -n $part && -n $hits ]]; then finding "holds symbols with '$part' in their names: ${hits% }"; fi
  done < <(tr ',' '\n' <<<"$absent_symbols")
fi

if ((${#findings[@]})); then
  for f in "${findings[@]}"; do echo "check-pe.sh: $(basename "$dll"): $f"; done
  exit 1
fi
echo "check-pe.sh: $(basename "$dll"): exports, imports, version resource and symbols as expected"
