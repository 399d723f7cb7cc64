#!/usr/bin/env bash
# The core and the command-line program built with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang, into build-asan/, without the desktop
# program), and every core test run on that build. The same build holds the
# fuzz targets that scripts/fuzz.sh runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# CI (ORVANE_LEAN_BUILD=1): line tables are all a sanitizer report needs.
lean=()
[[ ${ORVANE_LEAN_BUILD:-0} == 1 ]] &&
  lean=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG")
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON -DORVANE_BUILD_GUI=OFF -DORVANE_BUILD_BENCH=OFF \
  "${launcher[@]}" "${lean[@]}" > /dev/null
cmake --build build-asan -j"$(nproc)"

# Speed checks hold for the optimised build only; the normal test run keeps them.
timing=(
  IdentifyStream.NoiseTakesOnlyMilliseconds
)
# Tests that meet a fault still being mended elsewhere; each entry names the
# test and goes as soon as its fault is mended.
known_failing=()

skipped=("${timing[@]}" "${known_failing[@]}")
exclude=(-E "^($(IFS='|'; echo "${skipped[*]}"))\$")
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure -j"$(nproc)" "${exclude[@]}"
