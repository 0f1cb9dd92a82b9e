#!/usr/bin/env bash
# Installs what building and testing Keldrive needs on Debian 12, skipping what is there.
set -euo pipefail

# One package a line, sorted.
packages=(
  clang
  cmake
  fonts-dejavu-core
  fuse3
  g++
  gddrescue
  gzip
  libarchive-dev
  libbenchmark-dev
  libblkid-dev
  libclang-rt-14-dev
  libgmock-dev
  libgsf-1-dev
  libgtest-dev
  libqt6opengl6-dev
  libssl-dev
  libxml2-dev
  libxml2-utils
  make
  nlohmann-json3-dev
  ntfs-3g
  pkg-config
  python3
  python3-fusepy
  python3-jsonschema
  qt6-base-dev
  qt6-image-formats-plugins
  qt6-multimedia-dev
  qt6-pdf-dev
  qt6-tools-dev
  sleuthkit
  util-linux
  xauth
  xvfb
  zlib1g-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "setup: installing ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
