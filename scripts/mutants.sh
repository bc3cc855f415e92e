#!/usr/bin/env bash
# Planted-fault check of the unit suites: mutants.sh [FILE...] [--sample N]
# [--seed S] [--list] [--min-score P]; FILE relative to the project, default
# lib/*.cpp. Faults go into a copy under build-mutants/, never into the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutants.py "$@"
