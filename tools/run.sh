#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the program. Until the
# user interface exists this runs the engine benchmark, which drives
# libkorvane.so through its exports.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/pelrin ]; then
    exec build/pelrin
elif [ -x build/bench/korvane_bench ]; then
    exec build/bench/korvane_bench
else
    echo "Built libkorvane.so; the program and the benchmark are not part of this build yet."
fi
