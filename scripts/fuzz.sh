#!/usr/bin/env bash
# Fuzzes the picture path for a bounded time: builds the fuzz target with
# clang (libFuzzer, ASan, UBSan) in build-fuzz/ and runs it, seeded with the
# inputs kept in tests/data/fuzz/ and with the public JPEG corpus when it is
# beside the repository, otherwise with pictures made by the sample maker.
#   GLIMMET_FUZZ_SECONDS  how long to fuzz (default 120)
# A crash, a leak, an uncaught exception or a run over the time or memory
# limit fails the script and leaves the input in build-fuzz/fuzz-artifacts/.
# Copy it into tests/data/fuzz/ under a name that says what it does:
# fuzz_replay_test replays every file there in each test run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
seconds=${GLIMMET_FUZZ_SECONDS:-120}
"$root/scripts/setup.sh"

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLIMMET_FUZZ=ON -DGLIMMET_TESTS=OFF -DGLIMMET_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target jpeg_fuzz make_samples

seeds=("$root/tests/data/fuzz")
corpus=$root/../shared/corpus
if [[ -d $corpus ]]; then
  seeds+=("$corpus")
else
  rm -rf "$build/fuzz-seeds"
  mkdir -p "$build/fuzz-seeds"
  "$build/tools/make_samples" "$build/fuzz-seeds"
  seeds+=("$build/fuzz-seeds")
fi
mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"

# Inputs are cut to 64 KiB: pictures that large are refused or only loaded
# by the target, and smaller inputs mean more runs.
log=$build/fuzz.log
if ! "$build/jpeg_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=65536 \
    -use_value_profile=1 -dict="$root/tests/fuzz/jpeg.dict" -artifact_prefix="$build/fuzz-artifacts/" \
    -print_final_stats=1 "$build/fuzz-corpus" "${seeds[@]}" >"$log" 2>&1; then
  tail -n 60 "$log" >&2
  echo "fuzz: failed; the input is in $build/fuzz-artifacts/ (keep it in tests/data/fuzz/)" >&2
  exit 1
fi
echo "fuzz: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs in ${seconds} s, no crash (log: $log)"
