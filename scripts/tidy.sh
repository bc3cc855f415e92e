#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the sources of app/, lib/ and toolkit/
# with the compile commands of a build tree: tidy.sh [BUILD_DIR]
# (default build/, configured by scripts/build.sh). Fails on any finding.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [[ ! -f $build/compile_commands.json ]]; then
  echo "tidy: no $build/compile_commands.json; build first (scripts/build.sh)" >&2
  exit 1
fi
# Two jobs at most: the machine is shared.
headers="^$root/(app|lib|toolkit)/"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
if command -v run-clang-tidy >/dev/null; then
  run-clang-tidy -j2 -quiet -p "$build" -header-filter="$headers" "^$root/(app|lib|toolkit)/" >"$log" 2>&1 || status=$?
else
  (cd "$root" && git ls-files 'app/*.cpp' 'lib/*.cpp' 'toolkit/*.cpp') | sed "s|^|$root/|" |
    xargs -P2 -n4 clang-tidy --quiet -p "$build" --header-filter="$headers" >"$log" 2>&1 || status=$?
fi
if ((status != 0)); then
  # Each finding once (a header's findings repeat in every file that includes it).
  sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '^/.*: (warning|error): ' | sort -u >&2 || cat "$log" >&2
  echo "tidy: findings above" >&2
  exit 1
fi
echo "tidy: no findings"
