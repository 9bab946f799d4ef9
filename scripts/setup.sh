#!/usr/bin/env bash
# Installs what a build needs on a Debian machine, and only what is missing:
# one `apt-get update`, then packages by name.
# Usage: scripts/setup.sh [run|test|bench|real-world]...
#   run    the native build and the reference host
#   test   everything the test command builds and runs (native, sanitizers, Windows, fuzzing)
#   bench  the benchmark peers, the corpus's photographs and tools, the profilers, and the
#          Windows build (its DLL is timed under wine too)
#   real-world  the native build with its checker against libpng, and dpkg-source for the
#          source packages of the real-world corpus
# Source packages (libdeflate for the Windows build; PngSuite and the crasher files when the
# shared corpus is absent) land in build/deps/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

run_packages=(cmake ninja-build g++ pkg-config libdeflate-dev)
# The Windows build: the cross compilers, wine, GoogleTest's sources, libdeflate's source package,
# python3 for the package's zip and bill of materials.
windows_packages=(googletest dpkg-dev make locales g++-mingw-w64-x86-64-posix mingw-w64-tools
                  binutils-mingw-w64-x86-64 wine64 wine python3)
test_packages=("${run_packages[@]}" "${windows_packages[@]}" libgtest-dev libpng-dev zlib1g-dev valgrind
               clang libclang-rt-14-dev libfuzzer-14-dev clang-format clang-tidy unzip)
# The corpus: photographs from mate-backgrounds, converted by ImageMagick and optipng.
bench_packages=("${run_packages[@]}" "${windows_packages[@]}" libbenchmark-dev libpng-dev libspng-dev libstb-dev
                imagemagick optipng mate-backgrounds linux-perf valgrind)

# The real-world corpus: the native build with the suites (its checker lives beside them).
real_world_packages=("${run_packages[@]}" dpkg-dev libgtest-dev libpng-dev)

wanted=()
sources=()
for target in "${@:-run}"; do
  case "$target" in
    run) wanted+=("${run_packages[@]}") ;;
    test)
      wanted+=("${test_packages[@]}")
      [[ -d "$(deps_dir)/libdeflate" ]] || sources+=(libdeflate)
      [[ -d "$(shared_corpus_dir)/pngsuite" || -d "$(deps_dir)/libspng" ]] || sources+=(libspng)
      ;;
    bench)
      wanted+=("${bench_packages[@]}")
      [[ -d "$(deps_dir)/libdeflate" ]] || sources+=(libdeflate)
      [[ -d "$(shared_corpus_dir)/pngsuite" || -d "$(deps_dir)/libspng" ]] || sources+=(libspng)
      ;;
    real-world) wanted+=("${real_world_packages[@]}") ;;
    *) echo "setup.sh: unknown target '$target' (run, test, bench or real-world)" >&2; exit 2 ;;
  esac
done

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done

if ((${#missing[@]} || ${#sources[@]})); then
  ((${#sources[@]})) && enable_source_packages
  as_root apt-get update
  if ((${#missing[@]})); then
    echo "setup.sh: installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
  for source in $(printf '%s\n' "${sources[@]}" | sort -u); do fetch_source_package "$source"; done
fi
