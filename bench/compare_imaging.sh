#!/usr/bin/env bash
# Times `keldrive image` against `dd bs=1M` and GNU ddrescue copying the same 1 GiB image,
# warm cache, and prints the median of each and Keldrive's ratio to the two others.
# The source and the copies live in FOLDER (default /dev/shm, so that writing the copies
# back to a disk does not swamp the figures); it needs 2 GiB free. Needs gddrescue.
# Usage: bench/compare_imaging.sh [FOLDER] [RUNS, default 5]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/dev/shm}
runs=${2:-5}
keldrive=build/bin/keldrive
source=$folder/keldrive-imaging-bench.src
copy=$folder/keldrive-imaging-bench.img
trap 'rm -f "$copy" "$copy.map" "$copy.map.new"' EXIT

[ -x "$keldrive" ] || { echo "build keldrive first (scripts/build.sh build)" >&2; exit 1; }
command -v ddrescue >/dev/null || { echo "ddrescue is not installed (gddrescue)" >&2; exit 1; }
if [ ! -f "$source" ] || [ "$(stat -c %s "$source")" -ne 1073741824 ]; then
  head -c 1073741824 /dev/urandom > "$source"
fi
cat "$source" > /dev/null  # every tool starts with the source in the page cache

declare -A commands=(
  [keldrive]="$keldrive image $source $copy"
  [dd]="dd if=$source of=$copy bs=1M status=none"
  [ddrescue]="ddrescue -q $source $copy $copy.map"
)
declare -A times=()
# Runs in turn, A B C A B C ..., so that a drift in the machine's speed touches all three.
for _ in $(seq "$runs"); do
  for tool in keldrive dd ddrescue; do
    rm -f "$copy" "$copy.map"  # ddrescue would resume from an old map
    start=$(date +%s%N)
    ${commands[$tool]} > /dev/null
    end=$(date +%s%N)
    times[$tool]+="$(( (end - start) / 1000000 )) "
  done
done

median() { tr ' ' '\n' <<< "$1" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for tool in keldrive dd ddrescue; do
  printf '%-9s median %5d ms  (runs: %s)\n' "$tool" "$(median "${times[$tool]}")" "${times[$tool]}"
done
k=$(median "${times[keldrive]}")
awk -v k="$k" -v d="$(median "${times[dd]}")" -v r="$(median "${times[ddrescue]}")" \
  'BEGIN { printf "keldrive/dd %.2f  keldrive/ddrescue %.2f\n", k / d, k / r }'
