# Shared by the scripts: locations and the few apt helpers they need.

repo_dir() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }
deps_dir() { echo "$(repo_dir)/build/deps"; }
shared_corpus_dir() { echo "$(repo_dir)/../shared/corpus"; }

as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# Source packages need deb-src entries; derive them from the machine's own binary sources.
enable_source_packages() {
  local list=/etc/apt/sources.list.d/velapng-src.sources
  [[ -f $list ]] && return 0
  if [[ -f /etc/apt/sources.list.d/debian.sources ]] && ! grep -q '^Types:.*deb-src' /etc/apt/sources.list.d/debian.sources; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list" >/dev/null
  elif [[ -f /etc/apt/sources.list ]] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      as_root tee /etc/apt/sources.list.d/velapng-src.list >/dev/null
  fi
}

# Unpacks a Debian source package into build/deps/<name> (version-free path).
fetch_source_package() {
  local name=$1 deps
  deps=$(deps_dir)
  mkdir -p "$deps/src-$name"
  (cd "$deps/src-$name" && apt-get source --download-only "$name" >/dev/null && dpkg-source -x --no-check ./*.dsc unpacked >/dev/null)
  rm -rf "${deps:?}/$name"
  mv "$deps/src-$name/unpacked" "$deps/$name"
  rm -rf "${deps:?}/src-$name"
}

# The corpus the tests read: the shared one beside the repository, or the same files from
# the libspng source package.
corpus_cmake_args() {
  if [[ -d "$(shared_corpus_dir)/pngsuite" ]]; then
    echo "-DVELAPNG_PNGSUITE_DIR=$(cd "$(shared_corpus_dir)/pngsuite" && pwd)" \
         "-DVELAPNG_CRASHERS_DIR=$(cd "$(shared_corpus_dir)/crashers" && pwd)"
  else
    echo "-DVELAPNG_PNGSUITE_DIR=$(deps_dir)/libspng/tests/images" "-DVELAPNG_CRASHERS_DIR=$(deps_dir)/libspng/tests/crashers"
  fi
}
