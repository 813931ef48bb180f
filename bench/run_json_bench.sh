#!/usr/bin/env bash
# Installs the bench's peers, makes a release build with the benches and runs
# the JSON bench. Extra arguments pick corpora: social numeric strings deep bigarray collisions.
set -euo pipefail
cd "$(dirname "$0")/.."

bash bench/setup.sh
build=${TOLVA_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVA_BENCH=ON -DTOLVA_TESTS=OFF >/dev/null
cmake --build "$build" -j 4 --target json_bench json_check >/dev/null
"$build/bench/json_bench" "$@"
