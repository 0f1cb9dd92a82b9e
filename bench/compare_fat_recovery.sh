#!/usr/bin/env bash
# Times writing out three deleted 200 MiB files of a FAT32 image against The Sleuth Kit's
# tsk_recover and against cp of the whole image, and counts Keldrive's read and write calls.
# Needs python3, sleuthkit and strace. Usage: bench/compare_fat_recovery.sh [work folder]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/keldrive-fat-recovery-bench}
mkdir -p "$folder"
image=$folder/bench.img
[ -f "$image" ] || python3 bench/fat_recovery_bench_image.py "$image"
export XDG_DATA_HOME=$folder/data
build/bin/keldrive scan "$image" > /dev/null
cat "$image" > /dev/null  # every tool starts with the image in the page cache

time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
for _ in 1 2 3; do
  rm -rf "$folder/keldrive" "$folder/tsk" "$folder/cp"
  mkdir -p "$folder/cp"
  echo "keldrive recover: $(time_ms build/bin/keldrive recover "$image" --to "$folder/keldrive" --all) ms;" \
       "tsk_recover: $(time_ms tsk_recover "$image" "$folder/tsk") ms;" \
       "cp: $(time_ms cp "$image" "$folder/cp/bench.img") ms"
done
rm -rf "$folder/keldrive"
strace -f -c -e trace=pread64,write build/bin/keldrive recover "$image" --to "$folder/keldrive" \
  --all 2>&1 > /dev/null | tail -5
