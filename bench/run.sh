#!/usr/bin/env bash
# Builds and runs every benchmark (bench/bench_*.cpp). Each prints its own
# figures and exits non-zero when it misses its target; this script runs all
# of them and fails when any failed.
#
#   bash bench/run.sh [ARGS...]   (ARGS go to every benchmark)
set -uo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null || exit 1
cmake --build build -j2 --target benchmarks || exit 1
failed=0
for program in build/bench/bench_*; do
  [[ -x $program ]] || continue
  echo "== $(basename "$program")"
  if ! "$program" "$@"; then
    echo "FAILED: $(basename "$program")"
    failed=1
  fi
done
exit $failed
