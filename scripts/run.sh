#!/usr/bin/env bash
# Builds Glimmet if needed and runs it: run.sh [FOLDER | PICTURE]. Without a
# display it shows the program working by rendering its window into a
# picture and naming the file, and says nothing else.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# The build speaks only when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$root/build" --target glimmet glimmet-shot sample_data -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec "$root/build/glimmet" "$@"
fi

out="$root/out/glimmet-window.png"
mkdir -p "$root/out"
"$root/build/glimmet-shot" --out "$out" "$@"
echo "No display found: the window was rendered into $out"
