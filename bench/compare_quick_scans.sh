#!/usr/bin/env bash
# Times the FAT and NTFS deleted-file scans against The Sleuth Kit's `fls -r -d` on images
# of 100,000 files, half of them deleted. Making the images needs dosfstools, mtools and
# python3 (FAT), root, mkntfs and ntfs-3g (NTFS); timing them needs sleuthkit.
# Usage: bench/compare_quick_scans.sh [folder for the images, default /tmp]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp}
fat=$folder/keldrive-fat-bench.img
ntfs=$folder/keldrive-ntfs-bench.img
[ -f "$fat" ] || tests/fixtures/fat/make_fat_bench_image.sh "$fat"
[ -f "$ntfs" ] || tests/fixtures/ntfs/make_ntfs_bench_image.sh "$ntfs"
cat "$fat" "$ntfs" > /dev/null  # both tools start with the images in the page cache

KELDRIVE_FAT_BENCH_IMAGE="$fat" KELDRIVE_NTFS_BENCH_IMAGE="$ntfs" \
  build/bin/keldrive_bench --benchmark_filter=QuickScan
for image in "$fat" "$ntfs"; do
  start=$(date +%s%N)
  for _ in 1 2 3; do fls -r -d "$image" > /dev/null; done
  end=$(date +%s%N)
  echo "fls -r -d $(basename "$image"): $(( (end - start) / 3000000 )) ms per run"
done
