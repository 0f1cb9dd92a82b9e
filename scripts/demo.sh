#!/usr/bin/env bash
# Sets up, builds and runs the main job: scans the demo image (a FAT32 volume whose files
# and folders were deleted) and recovers everything it finds into build/demo/recovered.
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
