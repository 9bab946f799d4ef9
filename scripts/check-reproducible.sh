#!/usr/bin/env bash
# Proves that the release package rebuilds bit for bit: clones the current commit twice, into
# temporary directories of different path lengths, runs scripts/package.sh in each, and
# compares the two DLLs and the two zips byte for byte, printing their SHA-256 sums.
#   scripts/check-reproducible.sh [COMMIT]     (default: HEAD; uncommitted changes are not in it)
# Each clone borrows this checkout's libdeflate sources and the shared corpus, when they are
# here, instead of fetching them again. Takes two Windows DLL builds (a few minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

commit=$(git rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

clone_and_package() {
  local dir=$1
  mkdir -p "$dir"
  git clone --quiet --no-checkout "$(repo_dir)" "$dir/VelaPNG"
  git -C "$dir/VelaPNG" checkout --quiet --detach "$commit"
  mkdir -p "$dir/VelaPNG/build/deps"
  [[ -d $(deps_dir)/libdeflate ]] && ln -s "$(realpath "$(deps_dir)/libdeflate")" "$dir/VelaPNG/build/deps/libdeflate"
  [[ -d $(shared_corpus_dir) ]] && ln -s "$(realpath "$(shared_corpus_dir)/..")" "$dir/shared"
  echo "=== package.sh in $dir/VelaPNG"
  "$dir/VelaPNG/scripts/package.sh" >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
}

first=$work/a
second=$work/a-much-longer-directory-name/and-one-more-level
clone_and_package "$first"
clone_and_package "$second"

zip_name=$(cd "$first/VelaPNG/build/windows/package" && ls ./*.zip)
zip_name=${zip_name#./}
failed=0
for file in bin/VelaPNG.dll "package/$zip_name"; do
  a=$first/VelaPNG/build/windows/$file b=$second/VelaPNG/build/windows/$file
  sha256sum "$a" "$b" | sed "s|$work/||"
  cmp "$a" "$b" || failed=1
done
# The shipped DLL is the stripped copy inside the zip; the zips' equality covers it.
if ((failed)); then
  echo "check-reproducible: two builds of $commit differ"
  exit 1
fi
echo "check-reproducible: $commit builds the same DLL and package from both clones"
