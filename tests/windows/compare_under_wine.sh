#!/usr/bin/env bash
# Recovers every file of the FAT and NTFS fixture images with the Linux build and with the
# Windows build under Wine, and requires the same files, byte for byte, and the same
# `recover --json` output apart from the form of the paths.
#   tests/windows/compare_under_wine.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# Needs WINEPREFIX set to a ready prefix (tests/windows/run_under_wine.sh makes one).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(cd "$1" && pwd)/bin/keldrive
windows=$(cd "$2" && pwd)/bin/keldrive.exe
wine=${WINE:-wine64}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Z: is / in every Wine prefix.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

normalise_json() {
  # Windows paths ("Z:\tmp\x\out/photo/a.jpg") in the Linux form, and the two run folders
  # under one name, so that only real differences remain.
  python3 -c '
import json, sys
def walk(v):
    if isinstance(v, dict): return {k: walk(x) for k, x in v.items()}
    if isinstance(v, list): return [walk(x) for x in v]
    if isinstance(v, str):
        if v.startswith("Z:\\"): v = v[2:].replace("\\", "/")
        return v.replace("/out-windows", "/out").replace("/out-linux", "/out")
    return v
print(json.dumps(walk(json.load(sys.stdin)), indent=1, sort_keys=True))'
}

# ntfs/streams is left out: Windows names cannot hold ":", so its streams come back as
# file_stream there and as file:stream on Linux, by design (kNamesMayHoldColon).
images=(fat/fat12 fat/fat16 fat/fat32 fat/deleted_album ntfs/ntfs512 ntfs/ntfs4k disks/mbr
        disks/gpt)
total_files=0
total_bytes=0
failed=0
for fixture in "${images[@]}"; do
  name=$(basename "$fixture")
  case_dir="$work/$name"
  mkdir -p "$case_dir/data"
  gzip -dc "$root/tests/fixtures/$fixture.img.gz" >"$case_dir/$name.img"
  XDG_DATA_HOME="$case_dir/data" "$linux" recover "$case_dir/$name.img" \
    --to "$case_dir/out-linux" --all --json >"$case_dir/linux.json" 2>/dev/null || true
  "$wine" "$windows" recover "$(winpath "$case_dir/$name.img")" \
    --to "$(winpath "$case_dir/out-windows")" --all --json >"$case_dir/windows.json" \
    2>/dev/null || true
  # Wine passes the program's CR LF line ends through.
  sed -i 's/\r$//' "$case_dir/windows.json"
  if ! diff -r "$case_dir/out-linux" "$case_dir/out-windows" >"$case_dir/diff" 2>&1; then
    echo "DIFFERENT files: $fixture"
    head -20 "$case_dir/diff"
    failed=1
    continue
  fi
  if ! diff <(normalise_json <"$case_dir/linux.json") <(normalise_json <"$case_dir/windows.json"); then
    echo "DIFFERENT --json: $fixture"
    failed=1
    continue
  fi
  files=$(find "$case_dir/out-linux" -type f | wc -l)
  bytes=$(find "$case_dir/out-linux" -type f -printf '%s\n' | awk '{s+=$1} END {print s+0}')
  [ "$files" -gt 0 ] || { echo "NOTHING recovered: $fixture"; failed=1; continue; }
  echo "same: $fixture ($files files, $bytes bytes)"
  total_files=$((total_files + files))
  total_bytes=$((total_bytes + bytes))
done
echo "compared $total_files files, $total_bytes bytes"
exit $failed
