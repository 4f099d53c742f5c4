#!/usr/bin/env bash
# Installs what is missing, builds Folianta with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DFOLIANTA_TESTS=ON -DFOLIANTA_BENCH=ON
cmake --build build
ctest --test-dir build --output-on-failure
