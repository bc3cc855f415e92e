#!/usr/bin/env bash
# Builds Glimmet if needed and runs it. Without a display it shows the
# program working by rendering its window into a picture and naming the file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec "$root/build/glimmet"
fi

out="$root/out/glimmet-window.png"
mkdir -p "$root/out"
if [[ -x "$root/build/glimmet-shot" ]]; then
  "$root/build/glimmet-shot" --out "$out"
  echo "No display found: the window was rendered into $out"
else
  echo "No display found, and the snapshot tool is not built yet."
fi
