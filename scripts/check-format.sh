#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what .clang-format makes of it.
# With --fix, rewrites them instead. Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null ||
  find bench companions decoder fuzz host pixels plugin tests -name '*.cpp' -o -name '*.h')
if [[ ${1:-} == --fix ]]; then
  clang-format -i "${sources[@]}"
else
  clang-format --dry-run --Werror "${sources[@]}"
  echo "check-format: ${#sources[@]} files formatted as .clang-format says"
fi
