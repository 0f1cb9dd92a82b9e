#!/usr/bin/env bash
# Runs the Windows build under Wine: the core tests that can run there, then the recovery
# comparison with the Linux build.
#   tests/windows/run_under_wine.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# Skips with a message (exit 0) where Wine is missing or cannot start, unless
# KELDRIVE_REQUIRE_WINE=1 (scripts/test-windows.sh, which installs it) makes that a failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux_build=$1
windows_build=$2

wine=$(command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ -z "$wine" ]; then
  echo "windows: wine64 is not installed; the Windows build was not run"
  exit "${KELDRIVE_REQUIRE_WINE:-0}"
fi
export WINE=$wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d)
export WINEPREFIX
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
# A new prefix takes half a minute to set up; without Gecko and Mono (not needed here).
if ! timeout 300 "$wine" wineboot -i >/dev/null 2>&1; then
  echo "windows: Wine could not set up a prefix; the Windows build was not run"
  exit "${KELDRIVE_REQUIRE_WINE:-0}"
fi

# Left out under Wine, by reason. Tests of FUSE, loop devices and ddrescuelog skip by
# themselves; the test files that need POSIX calls are not built for Windows at all
# (tests/*/CMakeLists.txt).
linux_only=(
  # Fakes of /sys, /proc and /dev, built of symbolic links Wine cannot make; the Windows
  # disk list is tested through its own facts instead (DiskAssembly.*).
  'Cli.List*' 'DiskCatalog.*' 'ListDisks.*' 'FindMissingVolumes.*'
  'EnumerateVolumes.FailsWithoutTheKernelsDiskList'
  'JsonOutput.EveryCommandKeepsItsSavedShape'  # its `list` runs on the /sys fake
  # Symbolic links, which Wine cannot make.
  'FolderTree.CreatesListsAndDeletesWithoutFollowingLinks' 'PathInfo.ResolvePathFollowsLinksAndDots'
  'DiskImageJob.CopiesAnAreaAndNeverWritesOverItsSource' 'ScanHistory.NeverDeletesOutsideTheRoot'
  # A file name that is not UTF-8 cannot exist on Windows.
  'JsonOutput.TextThatIsNotUtf8IsReplacedNotFatal'
  # No libxml2 in the cross-build.
  'FileReport.Dfxml*' 'ReportCommand.HashesTheDemoAsItsTruthSaysAndRefusesWhatItCannotDo'
  # Windows names cannot hold ":": streams come back as file_stream, not file:stream.
  'NtfsStreams.DeletedFilesAndTheirStreamsComeBackByteExactAsFileColonStream'
)
filter="-$(IFS=:; echo "${linux_only[*]}")"

start=$(date +%s)
# From the source folder, which Wine shows as Z:, so that the fixtures' Linux paths
# compiled into the program ("/work/.../fixtures") resolve under Z:.
set +e
(cd "$here/../.." && "$wine" "$windows_build/bin/keldrive_tests.exe" --gtest_filter="$filter" \
  --gtest_brief=1) 2>&1 | tr -d '\r' | tail -40
status=${PIPESTATUS[0]}
set -e
echo "windows: core tests under Wine took $(( $(date +%s) - start )) s"

"$here/compare_under_wine.sh" "$linux_build" "$windows_build"
exit "$status"
