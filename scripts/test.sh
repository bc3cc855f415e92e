#!/usr/bin/env bash
# Runs every test: installs what is missing, checks the formatting
# (scripts/format.sh --check), builds the normal tree with warnings as errors,
# runs clang-tidy over it (scripts/tidy.sh) and all suites there (the
# end-to-end runs of the real program under Xvfb and the validators of the
# desktop entry, metadata, manual page and package among them), plants a sample
# of faults in lib/ (scripts/mutants.sh, GLIMMET_MUTANTS), fuzzes the picture
# path for a bounded time (scripts/fuzz.sh, GLIMMET_FUZZ_SECONDS), then builds
# the sanitizer (ASan + UBSan) tree and runs the suites again there, then the
# ThreadSanitizer tree and the suites that start threads there. A format
# or tidy finding fails the run at its end, after the suites have had their
# say.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

findings=()
"$root/scripts/format.sh" --check || findings+=("formatting (fix: scripts/format.sh)")

"$root/scripts/build.sh" "$root/build" -DGLIMMET_WERROR=ON
"$root/scripts/tidy.sh" "$root/build" || findings+=("clang-tidy")
(cd "$root/build" && ctest --output-on-failure -j2)

# A small seeded sample of planted faults in lib/: the unit suites must catch them.
"$root/scripts/mutants.sh" --sample "${GLIMMET_MUTANTS:-16}" --seed 2 --min-score 80

"$root/scripts/fuzz.sh"

# The sanitizers report into files, shown here when a suite fails: a test
# that captures its standard error would swallow a report written there. Set
# before the build, whose test discovery runs the suites too. Qt's JSON reader
# (the offscreen screens' configuration) at times frees with free() what it
# took with new: the allocation pairs of our own code are left to the
# compiler's -Wmismatched-new-delete.
reports="$root/build-asan/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:alloc_dealloc_mismatch=0:log_path=$reports/asan
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan
"$root/scripts/build.sh" "$root/build-asan" -DGLIMMET_SANITIZE=ON -DGLIMMET_BENCH=OFF -DGLIMMET_WERROR=ON
if ! (cd "$root/build-asan" && ctest --output-on-failure -j2 -LE 'e2e|package'); then
  cat "$reports"/* >&2 2>/dev/null || true
  exit 1
fi

# Every suite that starts threads, under ThreadSanitizer. The memory calls
# of Qt Core and Qt Gui are left out (tests/tsan.supp says what that hides);
# any report makes its test exit with an error. An allocation too large for the
# sanitizer's allocator fails as the program expects of malloc.
reports="$root/build-tsan/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=0:exitcode=66:second_deadlock_stack=1:allocator_may_return_null=1:log_path=$reports/tsan"
# The soak as long as under ASan: a fifth of its steps.
export GLIMMET_SOAK_STEPS=4000
"$root/scripts/build.sh" "$root/build-tsan" -DGLIMMET_TSAN=ON -DGLIMMET_BENCH=OFF -DGLIMMET_WERROR=ON
if ! (cd "$root/build-tsan" && ctest --output-on-failure -j2 -L 'unit-threaded|window|reliability'); then
  cat "$reports"/* >&2 2>/dev/null || true
  exit 1
fi

if ((${#findings[@]} > 0)); then
  printf 'test: failed on %s\n' "${findings[@]}" >&2
  exit 1
fi
