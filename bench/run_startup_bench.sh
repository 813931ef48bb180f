#!/usr/bin/env bash
# Installs the peer (surf), makes a release build of the program and the
# start-up bench and runs it. An argument sets the runs per browser (5).
set -euo pipefail
cd "$(dirname "$0")/.."

bash bench/setup.sh
build=${TOLVA_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVA_BENCH=ON -DTOLVA_TESTS=OFF >/dev/null
cmake --build "$build" -j 3 --target tolva startup_bench >/dev/null
"$build/bench/startup_bench" "${1:-5}"
