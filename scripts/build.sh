#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
launcher=()
# A compiler cache, where there is one, makes rebuilds of unchanged files instant.
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DKELDRIVE_WERROR=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
