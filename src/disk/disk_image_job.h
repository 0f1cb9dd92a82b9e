#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/rescue_map.h"
#include "disk/sector_device.h"
#include "disk/sector_run.h"
#include "platform/file_handle.h"
#include "platform/result_code.h"

namespace keldrive {

// Copies a disk, a partition, a gap or an image file sector by sector into an image file,
// the way GNU ddrescue rescues a failing disk:
//   1. copying passes read everything that reads in large pieces: forwards, skipping ahead
//      after a failure; backwards, skipping; forwards again without skipping;
//   2. trimming reads each failed area sector by sector from both edges inwards, up to
//      the first sector that fails on each side;
//   3. scraping reads what is left between those edges sector by sector.
// Unreadable sectors are zeros in the image. A mapfile in ddrescue's format beside the
// image says which sectors are copied, unreadable or still to be tried, so that an
// interrupted copy can be resumed. The source is only read; only the image and the map
// are written.

// What the progress callback hears besides the figures of the progress line.
struct ImageCopyState {
  RescuePhase phase = RescuePhase::kCopying;
  int pass = 1;
  std::uint64_t finishedSectors = 0;  // copied
  std::uint64_t badSectors = 0;       // found unreadable
  std::uint64_t position = 0;         // where the copy reads, counted from the area's start
};

// Called after every piece with the percentage settled, the sectors settled (copied or
// found unreadable) and the sectors of the area, and the seconds left (-1 until the first
// estimate, which is made after 5 seconds and refreshed at most every 5 seconds). Returns
// 0 to go on; any other value stops the copy after this piece and becomes its result
// (kCancelled when the user stopped it).
using ImageProgressCallback = std::int32_t (*)(void* context, std::int32_t percent,
                                               std::uint64_t sectorsDone,
                                               std::uint64_t sectorsTotal, std::int32_t secondsLeft,
                                               const ImageCopyState& state);

// The largest read and write of the copying passes. One 64 KiB piece is the floor;
// larger pieces halve the calls per byte at no cost in what a failure leaves unread, as
// a failed piece is narrowed down to the 64 KiB read that failed.
inline constexpr std::uint32_t kImagePieceBytes = 1u << 20;

struct ImageCopyOptions {
  std::string mapPath;  // empty: the target path followed by ".map"
  // Carry on from the map of an earlier copy; otherwise an existing image and map are
  // replaced whole.
  bool resume = false;
  std::uint32_t pieceBytes = kImagePieceBytes;
  std::uint64_t mapSaveIntervalMs = 10'000;
};

// The map path that goes with a target when none is given.
std::string DefaultMapPath(const std::string& targetPath);

// The state of one copy.
struct DiskImageJob {
  SectorDevice source;
  std::int32_t sectorSize = 512;  // bytes per sector of the source
  SectorRun area;                 // the source sectors to copy
  platform::FileHandle target;
  std::string targetPath;
  std::string mapPath;
  RescueMap map;  // counted from the area's start: sector n of the map is sector n of the image
  ImageCopyOptions options;
  ImageProgressCallback callback = nullptr;
  void* context = nullptr;
  bool resumed = false;  // the map came from an earlier copy
};

// How a copy ended.
struct ImageCopySummary {
  std::int32_t sectorSize = 512;
  std::uint64_t sectorsTotal = 0;
  std::uint64_t bytesCopied = 0;      // good data in the image, from this run and earlier ones
  std::uint64_t bytesUnreadable = 0;  // zeros in the image
  std::uint64_t bytesPending = 0;     // not yet read: the copy was stopped or failed
  std::vector<SectorRun> unreadable;  // image sectors; add the area's first for the source's
  std::uint64_t milliseconds = 0;
  bool resumed = false;
  std::string mapPath;
  std::string message;  // why the job could not start, when a code alone does not say
};

// Prepares a copy of `area` of `source` (an area of 0 sectors stands for everything from
// its first sector to the end of the medium) into `targetPath`. Without `options.resume`
// the target is created or emptied and the map started afresh; with it the map is read
// (it must describe exactly this area) and the image kept. A resume without a map is a
// fresh copy when the target does not exist either. The target is sized to the area at
// once, so a longer old file keeps no tail. A target or map that is the source itself is
// refused. On failure `message` may say more than the code.
ResultCode OpenDiskImageJob(DiskImageJob& job, SectorDevice source, std::int32_t sectorSize,
                            SectorRun area, const std::string& targetPath,
                            const ImageCopyOptions& options, ImageProgressCallback callback,
                            void* context, std::string& message);

// Runs the passes of an open job, saving the map every `mapSaveIntervalMs`, after every
// pass and when the copy stops. Returns 0 when every sector was copied, kReadFault when
// the copy finished with unreadable sectors, the callback's value when it stopped the
// copy, or the error that ended it (a write error, a map that cannot be saved).
ResultCode RunDiskImageJob(DiskImageJob& job, ImageCopySummary& summary);

// OpenDiskImageJob, RunDiskImageJob, and closing the source and the image.
ResultCode CopyDiskToImage(SectorDevice source, std::int32_t sectorSize, SectorRun area,
                           const std::string& targetPath, const ImageCopyOptions& options,
                           ImageProgressCallback callback, void* context,
                           ImageCopySummary& summary);

}  // namespace keldrive
