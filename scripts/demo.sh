#!/usr/bin/env bash
# Sets up, builds and runs the main job: lists the media Keldrive can scan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build/bin/keldrive list
