#!/usr/bin/env bash
# Makes fuzz/corpus/fat_quick_scan/tiny-fat12: a whole 64 KiB FAT12 volume (mkfs.fat and
# mtools) with a folder, a long name, a deleted file and a deleted file inside the folder.
# The other seeds are the first 64 KiB of larger volumes, whose boot sectors claim far more
# than the input holds; this one is a whole volume, so mutations start from one the scan
# can walk to its end. Needs dosfstools and mtools.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1700000000
image=$work/tiny.img
mkfs.fat -C --invariant -n TINY "$image" 64 >/dev/null
printf 'hello world\n' > "$work/a.txt"
head -c 3000 /dev/zero | tr '\0' 'k' > "$work/b.bin"
printf 'kept\n' > "$work/c.txt"
mmd -i "$image" ::/DIR
mcopy -i "$image" "$work/a.txt" ::/DIR/a.txt
mcopy -i "$image" "$work/b.bin" ::/b.bin
mcopy -i "$image" "$work/c.txt" "::/a long name.txt"
mdel -i "$image" ::/DIR/a.txt ::/b.bin
cp "$image" corpus/fat_quick_scan/tiny-fat12
