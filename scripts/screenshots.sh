#!/usr/bin/env bash
# Takes the desktop program's screenshots (docs/screenshots/*.png): runs its tests in a
# virtual X display with real fonts, saving a picture of every page and progress window.
# Usage: scripts/screenshots.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v xvfb-run >/dev/null || { echo "screenshots: install xvfb and xauth" >&2; exit 1; }
mkdir -p docs/screenshots
KELDRIVE_SCREENSHOTS="$PWD/docs/screenshots" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1400x900x24" "$build/bin/keldrive_gui_tests" >/dev/null
ls docs/screenshots
