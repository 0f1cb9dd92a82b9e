#!/usr/bin/env bash
# Times the FAT deleted-file scan against The Sleuth Kit's `fls -r -d` on a FAT32 image of
# 100,000 files, half of them deleted. Needs dosfstools, mtools, python3 and sleuthkit.
# Usage: bench/compare_fat_scan.sh [image path, default /tmp/keldrive-fat-bench.img]
set -euo pipefail
cd "$(dirname "$0")/.."
image=${1:-/tmp/keldrive-fat-bench.img}
[ -f "$image" ] || tests/fixtures/fat/make_fat_bench_image.sh "$image"
cat "$image" > /dev/null  # both tools start with the image in the page cache

KELDRIVE_FAT_BENCH_IMAGE="$image" build/bin/keldrive_bench --benchmark_filter=BM_FatQuickScan
start=$(date +%s.%N)
for _ in 1 2 3; do fls -r -d "$image" > /dev/null; done
end=$(date +%s.%N)
echo "fls -r -d: $(echo "($end - $start) / 3" | bc -l | cut -c1-6) s per run"
