#!/usr/bin/env bash
# Installs what is needed, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${TOLVA_TEST_BUILD_DIR:-build-test}
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTOLVA_SANITIZE=ON -DTOLVA_TESTS=ON
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$jobs"

# The threading pieces once more under ThreadSanitizer: races there would
# hide from the sanitizers above.
tsan=${build}-tsan
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DTOLVA_TSAN=ON -DTOLVA_TESTS=ON
cmake --build "$tsan" -j "$jobs" --target test_kit_foundation
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
  "$tsan/test_kit_foundation" --gtest_filter='RunLoop*:Thread*:Operation*:Notification*:UserDefaults*'
