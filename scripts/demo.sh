#!/usr/bin/env bash
# Sets up, builds and runs the main job: scans the demo image (a FAT32 volume whose files
# and folders were deleted) and recovers everything it finds into build/demo/recovered,
# then does the same for a FAT32 volume that was formatted again (build/demo/formatted).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
gzip -dc tests/fixtures/fat/demo.img.gz > "$demo/demo.img"
# The demo keeps its scan logs beside it rather than in your own data folder.
export XDG_DATA_HOME="$PWD/$demo/data"
keldrive=build/bin/keldrive

echo "== keldrive list"
"$keldrive" list
echo
echo "== keldrive scan $demo/demo.img"
"$keldrive" scan "$demo/demo.img"
echo
echo "== keldrive ls $demo/demo.img"
"$keldrive" ls "$demo/demo.img"
echo
echo "== keldrive recover $demo/demo.img --to $demo/recovered --all"
"$keldrive" recover "$demo/demo.img" --to "$demo/recovered" --all
echo
echo "== what came back"
(cd "$demo/recovered" && find . -type f | sort | while read -r file; do
  printf '%8d  %s\n' "$(stat -c %s "$file")" "${file#./}"
done)

# After a format: the same kind of volume, filled with a folder tree and formatted again.
# The root is gone; the folders below it and the files in free space come back.
gzip -dc tests/fixtures/fat_formatted/fat32_reformatted.img.gz > "$demo/formatted.img"
echo
echo "== keldrive scan $demo/formatted.img --mode formatted"
"$keldrive" scan "$demo/formatted.img" --mode formatted
echo
echo "== keldrive recover $demo/formatted.img --to $demo/formatted --all --keep-paths"
"$keldrive" recover "$demo/formatted.img" --to "$demo/formatted" --all --keep-paths
echo
echo "== what came back after the format"
(cd "$demo/formatted" && find . -type f | sort | while read -r file; do
  printf '%8d  %s\n' "$(stat -c %s "$file")" "${file#./}"
done)

# The same images in the desktop program, where a display is there to show it.
if [ -x build/bin/keldrive-gui ]; then
  echo
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "== the desktop program: build/bin/keldrive-gui $demo/demo.img $demo/formatted.img"
    XDG_DATA_HOME="$PWD/$demo/data" build/bin/keldrive-gui "$demo/demo.img" "$demo/formatted.img" &
  else
    echo "To look at them in the desktop program, on a display run:"
    echo "  build/bin/keldrive-gui $demo/demo.img $demo/formatted.img"
  fi
fi
