#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan, UBSan, libFuzzer) and runs each for a fixed
# time, two at a time, from its seed corpus in fuzz/corpus/<target>. Fails on any crash,
# leak or hang. The random seed is fixed, so that every run makes the same inputs: a CI run
# fails on what the change under test broke, not on an old finding it happened upon.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

CC=clang CXX=clang++ scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELDRIVE_FUZZ=ON -DKELDRIVE_SANITIZE=ON -DKELDRIVE_BUILD_TESTS=OFF -DKELDRIVE_BUILD_BENCH=OFF \
  -DKELDRIVE_BUILD_GUI=OFF

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run_one() {
  local target=$1 name
  name=$(basename "$target")
  name=${name%_fuzz}
  mkdir -p "$work/$name" "fuzz/corpus/$name"
  # New inputs go to the scratch corpus; the committed seeds stay as they are.
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$target" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$work/$name-" "$work/$name" "fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name: $(grep -o 'Done [0-9]* runs.*' "$work/$name.log" || echo done)"
  else
    echo "fuzz: $name FAILED; the end of its log:" >&2
    tail -40 "$work/$name.log" >&2
    ls "$work/$name"-* >&2 2>/dev/null || true
    return 1
  fi
}
export -f run_one
export work seconds
find build-fuzz/bin -maxdepth 1 -name '*_fuzz' -type f | sort |
  xargs -P 2 -I{} bash -c 'run_one {}'
