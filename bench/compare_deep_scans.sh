#!/usr/bin/env bash
# A deep scan and `recover --all` of a 1 GiB image of real files with no file system
# (bench/make_deep_bench_image.py), side by side with PhotoRec carving the same image and
# with `cat IMAGE > /dev/null`, the speed of reading it at all. Runs each RUNS times in
# turn (keldrive, photorec, cat, keldrive, ...) with the page cache warm, then once each
# with it dropped before every run (cold; needs root). Prints the median of each, the
# ratios, and how many of the laid-out files each tool wrote byte-exact.
# Work lives in FOLDER (default /dev/shm, so that writing the recovered files does not
# swamp the figures); it needs 3 GiB free. The cold figures mean something only with
# FOLDER on a disk: a tmpfs keeps the image in memory whatever is dropped. Needs testdisk
# (photorec).
# Usage: bench/compare_deep_scans.sh [FOLDER] [RUNS, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/dev/shm}
runs=${2:-3}
keldrive=$PWD/build/bin/keldrive
image=$folder/keldrive-deep-bench.img
work=$folder/keldrive-deep-bench.work
trap 'rm -rf "$work"' EXIT

[ -x "$keldrive" ] || { echo "build keldrive first (scripts/build.sh build)" >&2; exit 1; }
command -v photorec >/dev/null || { echo "photorec is not installed (testdisk)" >&2; exit 1; }
[ -f "$image" ] && [ -f "$image.tsv" ] || python3 bench/make_deep_bench_image.py "$image"

run_keldrive() {
  rm -rf "$work/keldrive" "$work/data"
  XDG_DATA_HOME=$work/data "$keldrive" scan "$image" --mode deep --fresh > /dev/null
  XDG_DATA_HOME=$work/data "$keldrive" recover "$image" --to "$work/keldrive" --all > /dev/null
}
run_photorec() {
  rm -rf "$work/photorec" "$work/photorec.log"
  mkdir -p "$work/photorec"  # PhotoRec writes into f.1, f.2, ... beside its /d prefix
  (cd "$work" && photorec /log /d "$work/photorec/f" /cmd "$image" \
    partition_none,options,keep_corrupted_file_no,fileopt,everything,enable,wholespace,search \
    > /dev/null)
}
run_cat() { cat "$image" > /dev/null; }

drop_caches() { sync; echo 3 > /proc/sys/vm/drop_caches; }
# Milliseconds one run of TOOL takes, the cache dropped first when COLD is set.
time_run() {
  [ -n "${COLD:-}" ] && drop_caches
  local start end
  start=$(date +%s%N)
  "run_$1"
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
median() { tr ' ' '\n' <<< "$1" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

report() {
  local label=$1; shift
  declare -A times=()
  for _ in $(seq "$1"); do
    for tool in keldrive photorec cat; do times[$tool]+="$(time_run $tool) "; done
  done
  for tool in keldrive photorec cat; do
    printf '%-5s %-9s median %6d ms  (runs: %s)\n' "$label" "$tool" "$(median "${times[$tool]}")" \
      "${times[$tool]}"
  done
  awk -v k="$(median "${times[keldrive]}")" -v p="$(median "${times[photorec]}")" \
    -v c="$(median "${times[cat]}")" -v l="$label" \
    'BEGIN { printf "%-5s keldrive/photorec %.2f  keldrive/cat %.2f  (%.0f MB/s of image)\n", l, k / p, k / c, 1073.741824 / (k / 1000) }'
}

run_cat  # warm
report warm "$runs"
if [ "$(id -u)" -eq 0 ]; then COLD=1 report cold 1; else echo "cold: skipped (needs root)"; fi

# What each tool wrote: files whose bytes match a laid-out file that starts at their
# sector (PhotoRec names files f<sector>..., Keldrive <sector>.<ext>).
python3 - "$image.tsv" "$work/keldrive" "$work/photorec" <<'PY'
import hashlib, os, re, sys
truth = {}
for line in open(sys.argv[1]):
    if not line.startswith("#"):
        sector, ext, size, sha = line.split()
        truth[int(sector)] = sha
for name, root, pattern in (("keldrive", sys.argv[2], r"^(\d+)\."), ("photorec", sys.argv[3], r"^f(\d+)")):
    exact = written = 0
    for folder, _, files in os.walk(root):
        for f in files:
            m = re.match(pattern, f)
            if not m:
                continue
            written += 1
            with open(os.path.join(folder, f), "rb") as data:
                if truth.get(int(m.group(1))) == hashlib.sha256(data.read()).hexdigest():
                    exact += 1
    print(f"{name:9s} {written} files written, {exact} of {len(truth)} laid out byte-exact")
PY
