#!/usr/bin/env bash
# Cross-builds the Windows programs and runs them under Wine against the Linux build in
# build/ (made by scripts/test.sh): scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# One package a line, sorted. libgtest-dev (scripts/setup.sh) brings GoogleTest's sources.
packages=(
  g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev
  wine64
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "test-windows: installing ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

start=$(date +%s)
scripts/build-windows.sh build-windows
echo "test-windows: cross-build took $(( $(date +%s) - start )) s"
KELDRIVE_REQUIRE_WINE=1 tests/windows/run_under_wine.sh build build-windows
echo "Windows tests passed."
