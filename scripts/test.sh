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
cmake --build "$tsan" -j "$jobs" --target test_kit_foundation test_data
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
  "$tsan/test_kit_foundation" --gtest_filter='RunLoop*:Thread*:Operation*:Notification*:UserDefaults*:PagePrefaulter*'
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
  "$tsan/test_data" --gtest_filter='AdblockConcurrency*'

# Fuzzing on request (TOLVA_FUZZ=1, as CI sets it): a clang build of every fuzz/*_fuzz.cpp
# target, each run for TOLVA_FUZZ_SECONDS (20 s by default); a crash, a sanitizer report or a
# leak fails the script.
if [ "${TOLVA_FUZZ:-0}" = "1" ]; then
  fuzz_build=${TOLVA_FUZZ_BUILD_DIR:-build-fuzz}
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$fuzz_build" -DTOLVA_FUZZ=ON -DTOLVA_TESTS=OFF
  cmake --build "$fuzz_build" -j "$jobs" --target fuzz_all
  for target in "$fuzz_build"/fuzz/*_fuzz; do
    name=$(basename "$target")
    stem=${name%_fuzz}
    mkdir -p "$fuzz_build/corpus/$name" "$fuzz_build/artifacts"
    # Each target's own dictionary and seed corpus where it has them (fuzz/<stem>.dict,
    # fuzz/corpus/<stem>/); the JSON targets share fuzz/json.dict and fuzz/corpus/json.
    args=()
    case "$stem" in *json*) stem=json ;; esac
    [ -f "fuzz/$stem.dict" ] && args+=("-dict=fuzz/$stem.dict")
    seeds=()
    [ -d "fuzz/corpus/$stem" ] && seeds+=("fuzz/corpus/$stem")
    "$target" -max_total_time="${TOLVA_FUZZ_SECONDS:-20}" "${args[@]}" -artifact_prefix="$fuzz_build/artifacts/$name-" \
      "$fuzz_build/corpus/$name" "${seeds[@]}"
  done
fi
