#!/usr/bin/env bash
# Sets up, builds and runs every test: once in an optimised build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target for a minute, then
# the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j"$(nproc)"

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKELDRIVE_SANITIZE=ON -DKELDRIVE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
scripts/fuzz.sh "${KELDRIVE_FUZZ_SECONDS:-60}"
scripts/test-windows.sh
echo "All tests passed."
