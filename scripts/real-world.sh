#!/usr/bin/env bash
# The real-world corpus: PNGs that real programs wrote, taken from Debian packages, decoded
# through the plug-in's exports and compared with libpng by real_world_check.
#
#   scripts/real-world.sh [full|sample] [--no-check] [-- checker options...]
#
# full (the default) takes every package of the table below into build/real-world/full/;
# sample takes the packages marked for it into build/real-world/sample/ (the test command's
# step; other programs, the soak test among them, read PNGs from there). Each corpus is a
# flat directory of <first 16 hex digits of the SHA-256>.png, so a file that several
# packages or paths carry counts once, under the first package of the table that has it,
# and index.tsv (hash, category, package, path in the package). Packages are downloaded
# with apt-get (nothing is installed) into build/real-world/cache/ and unpacked into
# build/real-world/unpacked/; both are kept, so a second run downloads nothing.
# The checker exits non-zero on any disagreement with libpng that no documented choice
# explains; --no-check only makes the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# One package a line: category, bin (a binary package) or src (a source package), the
# package, where its PNGs lie in it ('.' for anywhere), and whether the test command's
# sample takes it: 'sample' for all its files, 'sample:N' for N of them spread evenly.
# Every file named *.png (any case) is taken, whatever it holds.
corpus_table='
icons      bin  tango-icon-theme             .          sample:60
icons      bin  mate-icon-theme              .
icons      bin  oxygen-icon-theme            .
docs       bin  gnome-user-docs              .          sample:40
docs       bin  python3.11-doc               .
docs       bin  qtbase5-doc-html             .
games      bin  lbreakout2-data              .          sample:60
games      bin  teeworlds-data               .
games      bin  pingus-data                  .
games      bin  frozen-bubble-data           .
games      bin  tuxpaint-data                .
games      bin  freeciv-data                 .
wallpapers bin  desktop-base                 .          sample:12
wallpapers bin  xfdesktop4-data              .
wallpapers bin  plasma-workspace-wallpapers  .
plots      bin  gnuplot-doc                  .          sample
plots      bin  octave-doc                   .          sample
plots      bin  python-scipy-doc             .
plots      bin  python-skimage-doc           .
libtests   src  libpng1.6                    .          sample
libtests   src  libspng                      tests      sample
libtests   src  pillow                       Tests
libtests   src  golang-1.19                  src/image
libtests   src  gdk-pixbuf                   tests
'

mode=full
check=1
checker_options=()
while (($#)); do
  case "$1" in
    full | sample) mode=$1 ;;
    --no-check) check=0 ;;
    --) shift; checker_options=("$@"); break ;;
    *) echo "usage: scripts/real-world.sh [full|sample] [--no-check] [-- checker options...]" >&2; exit 2 ;;
  esac
  shift
done

scripts/setup.sh real-world
root=$(repo_dir)/build/real-world
cache=$root/cache
unpacked=$root/unpacked
corpus=$root/$mode
mkdir -p "$cache/debs" "$cache/src" "$unpacked"

apt_ready=0
# The package lists, source lists included, once per run and only when a download needs them.
ensure_package_lists() {
  ((apt_ready)) && return 0
  enable_source_packages
  # Captured first: grep -q would leave apt-cache writing into a closed pipe.
  local sources
  sources=$(apt-cache showsrc --only-source libpng1.6 2>/dev/null || true)
  if [[ $sources != *Package:* ]] || ! apt-cache show tango-icon-theme >/dev/null 2>&1; then
    as_root apt-get update >&2  # stdout carries the cache directory (cached)
  fi
  apt_ready=1
}

# Every version the package lists know, newest first: a mirror may lack the newest for a
# while (a security update's sources, for one), and an older one serves the corpus as well.
versions() {
  local kind=$1 package=$2
  if [[ $kind == bin ]]; then
    apt-cache show "$package" 2>/dev/null | awk '/^Version:/ {print $2}'
  else
    apt-cache showsrc --only-source "$package" 2>/dev/null | awk '/^Version:/ {print $2}'
  fi | sort -u -V -r
}

# Downloads the package into the current directory: true once one version came whole.
download() {
  local kind=$1 package=$2 version
  for version in $(versions "$kind" "$package"); do
    if [[ $kind == bin ]]; then
      apt-get download "$package=$version" >/dev/null 2>&1 && return 0
    else
      apt-get source --download-only "$package=$version" >/dev/null 2>&1 && return 0
    fi
    rm -f ./*
  done
  echo "real-world: cannot download $kind package $package" >&2
  return 1
}

# Downloads one package into cache/<debs|src>/<package>/ unless a previous run did. The
# download goes to a directory of its own first, so an interrupted one leaves nothing behind
# that looks whole.
cached() {
  local kind=$1 package=$2 directory
  directory=$cache/$([[ $kind == bin ]] && echo debs || echo src)/$package
  if [[ ! -d $directory ]]; then
    ensure_package_lists
    rm -rf "$directory.partial"
    mkdir -p "$directory.partial"
    (cd "$directory.partial" && download "$kind" "$package")
    mv "$directory.partial" "$directory"
  fi
  echo "$directory"
}

# Unpacks one package into unpacked/<package>/ unless a previous run did.
fetch() {
  local kind=$1 package=$2 target=$unpacked/$2 directory
  [[ -f $target/.unpacked ]] && return 0
  rm -rf "$target" "$target.partial"
  directory=$(cached "$kind" "$package")
  if [[ $kind == bin ]]; then
    dpkg-deb -x "$(compgen -G "$directory/*.deb" | head -n1)" "$target.partial"
  else
    dpkg-source --no-check --no-copy -x "$(compgen -G "$directory/*.dsc" | head -n1)" "$target.partial" >/dev/null
  fi
  touch "$target.partial/.unpacked"
  mv "$target.partial" "$target"
}

start=$SECONDS
rows=()
while read -r category kind package where marks; do
  [[ -z $category ]] && continue
  [[ $mode == sample && $marks != sample* ]] && continue
  rows+=("$category $kind $package $where ${marks:-}")
  fetch "$kind" "$package"
done <<<"$corpus_table"
echo "real-world: ${#rows[@]} packages unpacked in $(du -sh "$unpacked" | cut -f1), downloads $(du -sh "$cache" | cut -f1) ($((SECONDS - start)) s)"

# The corpus is made afresh from the unpacked trees: hard links where the file system
# allows them, copies elsewhere. perl (essential on Debian) makes them all in one process:
# a process per file would take minutes for the full corpus.
link_all() {
  perl -MFile::Copy -0e 'while (defined(my $from = <STDIN>)) {
    my $to = <STDIN>; chomp $from; chomp $to;
    link($from, $to) or copy($from, $to) or die "real-world: cannot copy $from: $!\n";
  }'
}

rm -rf "$corpus"
mkdir -p "$corpus"
declare -A seen=()
index=$corpus/index.tsv
: >"$index"
for row in "${rows[@]}"; do
  read -r category kind package where marks <<<"$row"
  tree=$unpacked/$package
  [[ -d $tree/$where ]] || { echo "real-world: $package has no $where" >&2; exit 1; }
  mapfile -t lines < <(find "$tree/$where" -type f -iname '*.png' -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum)
  # sample:N takes N files spread evenly over the package's sorted list.
  step=1
  if [[ $mode == sample && $marks == sample:* ]]; then
    step=$(((${#lines[@]} + ${marks#sample:} - 1) / ${marks#sample:}))
    ((step > 0)) || step=1
  fi
  pairs=()
  for ((i = 0; i < ${#lines[@]}; i += step)); do
    line=${lines[i]}
    [[ $line == \\* ]] && continue  # a name sha256sum had to escape; none is worth the trouble
    hash=${line:0:16}
    path=${line:66}
    [[ -n ${seen[$hash]:-} ]] && continue
    seen[$hash]=1
    pairs+=("$path" "$corpus/$hash.png")
    printf '%s\t%s\t%s\t%s\n' "$hash" "$category" "$package" "${path#"$tree"/}" >>"$index"
  done
  ((${#pairs[@]})) && printf '%s\0' "${pairs[@]}" | link_all
  echo "real-world: $category $package: $((${#pairs[@]} / 2)) new files"
done
echo "real-world: ${#seen[@]} distinct files in $corpus ($((SECONDS - start)) s)"

((check)) || exit 0
checker=build/native/tests/real_world/real_world_check
if [[ ! -f build/native/build.ninja ]]; then
  read -r -a corpus_args <<<"$(corpus_cmake_args)"
  cmake --preset native "${corpus_args[@]}" >/dev/null
fi
cmake --build --preset native --target real_world_check >/dev/null
"$checker" --plugin-dir build/native/bin "${checker_options[@]}" "$corpus"
