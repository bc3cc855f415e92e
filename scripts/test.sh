#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the normal and the
# sanitizer (ASan + UBSan) trees, runs all suites in both, then the
# end-to-end runs of the real program under Xvfb, and last a bounded fuzzing
# run of the picture path (scripts/fuzz.sh, GLIMMET_FUZZ_SECONDS).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j2)

"$root/scripts/build.sh" "$root/build-asan" -DGLIMMET_SANITIZE=ON -DGLIMMET_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j2 -LE e2e)

"$root/scripts/fuzz.sh"
