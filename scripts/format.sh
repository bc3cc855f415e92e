#!/usr/bin/env bash
# Formats every tracked C++ file in place with .clang-format.
#   format.sh --check   changes nothing; fails when any file is not formatted
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ ${1:-} == --check ]]; then
  clang-format --dry-run -Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
