#!/usr/bin/env bash
# Installs what is needed, builds the release program and starts the browser.
# Arguments are passed to the program: [--headless] [--phone] [URL].
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${TOLVA_RUN_BUILD_DIR:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVA_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target tolva
exec "$build/tolva" "$@"
