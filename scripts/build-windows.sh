#!/usr/bin/env bash
# Cross-builds keldrive.exe and the core test program for 64-bit Windows with mingw-w64:
# scripts/build-windows.sh [BUILD_DIR] [cmake options...]  (BUILD_DIR: build-windows)
# The desktop program is left out: Debian has no Qt for mingw (see docs/windows.md).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-windows}
shift || true
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DKELDRIVE_WERROR=ON -DKELDRIVE_BUILD_GUI=OFF \
  -DKELDRIVE_BUILD_BENCH=OFF -Dnlohmann_json_DIR=/usr/share/cmake/nlohmann_json \
  "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"${KELDRIVE_JOBS:-2}" --target keldrive keldrive_tests
