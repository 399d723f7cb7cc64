#!/usr/bin/env bash
# The main job on the bundled sample: builds the synthetic sample disk image
# and runs the tool on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target orvane
mkdir -p sample
bash scripts/sample_partitions.sh build/orvane sample
