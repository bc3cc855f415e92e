#!/usr/bin/env bash
# Configures and builds one build tree: build.sh [DIR] [extra cmake args...]
# DIR defaults to build/ beside the sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
