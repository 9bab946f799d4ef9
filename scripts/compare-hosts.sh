#!/usr/bin/env bash
# The Windows build's reference host (run under wine) must write the same BMPs as the native
# build's, byte for byte:
#   compare-hosts.sh NATIVE_BIN WINDOWS_BIN PNGSUITE_DIR OUTPUT_DIR EMULATOR...
# NATIVE_BIN and WINDOWS_BIN are the two builds' bin directories (host, plug-in and
# companions side by side); EMULATOR is the command that runs a Windows program
# (scripts/wine-run.sh and its prefix). Each host runs twice, one process for many images:
#   orientation  every PngSuite file, from its file, at the angle its orientation asks for;
#   angles       a few files of every colour type, from memory, at 0, 90, 180 and 270.
# OUTPUT_DIR/results.txt gets one line per image and angle: same, differs, native only,
# windows only, or refused by both (the corrupt x* files, which both must refuse). Exit 0
# when every image matches and every file not named x* was decoded; 1 otherwise.
set -euo pipefail

if (($# < 5)); then
  sed -n '3p' "$0" | sed 's/^# *//' >&2
  exit 2
fi
native_bin=$(realpath -m -- "$1") windows_bin=$(realpath -m -- "$2") suite=$(realpath -- "$3")
out=$(realpath -m -- "$4")
shift 4
emulator=("$@")
# The hosts run in the output directory, so relative paths of the emulator's are made absolute.
for i in "${!emulator[@]}"; do
  if [[ ${emulator[i]} == */* ]]; then emulator[i]=$(realpath -m -- "${emulator[i]}"); fi
done

native_host=$native_bin/velapng-host
windows_host=$windows_bin/velapng-host.exe
for program in "$native_host" "$windows_host"; do
  if [[ ! -x $program && ! -f $program ]]; then
    echo "compare-hosts.sh: $program is missing; build both presets first (scripts/test.sh builds native, then windows)" >&2
    exit 1
  fi
done

angle_files=(basn0g01.png basi0g16.png basn2c16.png basi3p04.png basn4a08.png basi6a16.png
             s05n3p02.png s39i3p04.png tbbn3p08.png exif2c08.png)
mapfile -t suite_files < <(cd "$suite" && ls -- *.png)

rm -rf "$out"
mkdir -p "$out"/{native,windows}/{orientation,angles}

# The stand-ins' defaults: companions found beside each host, the log kept out of bin/. Each
# host runs in its own output directory, so nothing it writes can land in the corpus; the
# Windows host reaches the corpus through wine's drive Z:.
run_host() {
  local side=$1 run=$2
  shift 2
  local rc=0 arguments=() file drive=
  if [[ $side == windows ]]; then drive=Z:; fi
  for file in "$@"; do
    case $file in
      *.png) arguments+=("$drive$suite/$file") ;;
      *) arguments+=("$file") ;;
    esac
  done
  if [[ $side == native ]]; then
    (cd "$out/native" && QZ_LOG_FILE="$out/native.log" "$native_host" --out-dir "$run" "${arguments[@]}") \
      >"$out/$side-$run.txt" 2>&1 || rc=$?
  else
    (cd "$out/windows" && QZ_LOG_FILE="Z:$out/windows.log" "${emulator[@]}" "$windows_host" --out-dir "$run" "${arguments[@]}") \
      >"$out/$side-$run.txt" 2>&1 || rc=$?
  fi
  # 1 only says some file was refused; anything else means the host itself failed.
  if ((rc != 0 && rc != 1)); then
    echo "compare-hosts.sh: the $side host failed ($rc) on the $run run:" >&2
    tail -n 20 "$out/$side-$run.txt" >&2
    exit 1
  fi
}

unset QZ_BASE_DIRECTORY
for side in native windows; do
  run_host "$side" orientation "${suite_files[@]}"
  run_host "$side" angles --memory --angle 0 --angle 90 --angle 180 --angle 270 "${angle_files[@]}"
done

results=$out/results.txt
: >"$results"
failures=0 same=0
compare_run() {
  local run=$1 file stem name
  shift
  for file in "$@"; do
    stem=${file%.png}
    mapfile -t names < <(cd "$out" && ls -- native/"$run"/"$stem"-[0-9]*.bmp windows/"$run"/"$stem"-[0-9]*.bmp 2>/dev/null |
                         xargs -r -n1 basename | sort -u)
    if ((${#names[@]} == 0)); then
      echo "$run $file: refused by both" >>"$results"
      if [[ $file != x* ]]; then
        echo "$run $file: a valid file was not decoded" >>"$results"
        failures=$((failures + 1))
      fi
      continue
    fi
    for name in "${names[@]}"; do
      local native_file=$out/native/$run/$name windows_file=$out/windows/$run/$name verdict
      if [[ -f $native_file && -f $windows_file ]]; then
        if cmp -s "$native_file" "$windows_file"; then verdict=same; same=$((same + 1)); else verdict=differs; fi
      elif [[ -f $native_file ]]; then
        verdict="native only"
      else
        verdict="windows only"
      fi
      echo "$run $file -> $name: $verdict" >>"$results"
      [[ $verdict == same ]] || failures=$((failures + 1))
    done
  done
}
compare_run orientation "${suite_files[@]}"
compare_run angles "${angle_files[@]}"

echo "compare-hosts.sh: $same images identical, $failures problems; per image: $results"
if ((failures)); then
  grep -v -e ': same$' -e ': refused by both$' "$results" >&2
  exit 1
fi
