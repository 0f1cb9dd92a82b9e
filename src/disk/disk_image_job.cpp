#include "disk/disk_image_job.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "disk/checked_math.h"
#include "platform/clock.h"
#include "platform/path_info.h"

namespace keldrive {
namespace {

// The first skip after a failed read, and the most that successive failures grow it to:
// ddrescue's defaults, 64 KiB and 1% of the source, at most 1 GiB.
constexpr std::uint64_t kInitialSkipBytes = 64 * 1024;
constexpr std::uint64_t kMaxSkipBytes = 1ull << 30;
// The time estimate is refreshed when more than this has passed since the last one.
constexpr std::uint64_t kEstimateIntervalMs = 4999;

enum class Outcome { kGoOn, kStop };

const char* PhaseText(RescuePhase phase, int pass) {
  switch (phase) {
    case RescuePhase::kCopying:
      return pass == 2 ? "Copying non-tried blocks, backwards" : "Copying non-tried blocks";
    case RescuePhase::kTrimming:
      return "Trimming failed blocks";
    case RescuePhase::kScraping:
      return "Scraping failed blocks";
    case RescuePhase::kFinished:
      return "Finished";
    default:
      return "Resuming";
  }
}

// One run of the passes over an open job.
class Copier {
 public:
  explicit Copier(DiskImageJob& job)
      : job_(job),
        sectorBytes_(static_cast<std::uint64_t>(job.sectorSize)),
        total_(job.map.Sectors()),
        readSectors_(std::max<std::uint64_t>(kReadPieceBytes / sectorBytes_, 1)),
        pieceBytes_(std::max(job.options.pieceBytes, kReadPieceBytes)),
        pieceSectors_(std::max<std::uint64_t>(pieceBytes_ / sectorBytes_, 1)),
        initialSkip_(std::max<std::uint64_t>(kInitialSkipBytes / sectorBytes_, 1)),
        maxSkip_(std::max(initialSkip_, std::min(total_ / 100, kMaxSkipBytes / sectorBytes_))),
        buffer_(static_cast<std::size_t>(pieceSectors_ * sectorBytes_)),
        zeros_(static_cast<std::size_t>(sectorBytes_)) {
    started_ = lastEstimate_ = lastSave_ = platform::MonotonicMilliseconds();
    settledAtStart_ = Settled();
  }

  ResultCode Run() {
    // A resumed copy carries on in the pass its map was saved in; the passes after it
    // always run, as each handles every area left in its status.
    RescueMap& map = job_.map;
    int step = 0;
    bool resuming = false;
    if (map.phase == RescuePhase::kCopying) {
      step = std::clamp(map.pass, 1, 3) - 1;
      resuming = true;
    } else if (map.phase == RescuePhase::kTrimming) {
      step = 3;
      resuming = true;
    } else if (map.phase == RescuePhase::kScraping) {
      step = 4;
      resuming = true;
    }
    const std::uint64_t resumeAt = map.position;

    for (; step < 5; ++step) {
      // The pass the map was saved in starts where it stopped; later ones at their start.
      const auto start = [&](std::uint64_t natural) {
        const std::uint64_t at = resuming ? resumeAt : natural;
        resuming = false;
        return at;
      };
      switch (step) {
        case 0:
          Enter(RescuePhase::kCopying, 1, start(0));
          if (CopyForwards(true) == Outcome::kStop) return Stop();
          break;
        case 1:
          Enter(RescuePhase::kCopying, 2, start(total_));
          if (CopyBackwards() == Outcome::kStop) return Stop();
          break;
        case 2:
          Enter(RescuePhase::kCopying, 3, start(0));
          if (CopyForwards(false) == Outcome::kStop) return Stop();
          break;
        case 3:
          Enter(RescuePhase::kTrimming, 1, start(0));
          if (Trim() == Outcome::kStop) return Stop();
          break;
        case 4:
          Enter(RescuePhase::kScraping, 1, start(0));
          if (Scrape() == Outcome::kStop) return Stop();
          break;
      }
      // A pass that found nothing to do has nothing new to save.
      if (piecesSinceSave_ != 0) {
        if (const ResultCode rc = Save(); rc != result::kSuccess) return rc;
      }
    }
    map.phase = RescuePhase::kFinished;
    map.pass = 1;
    map.position = total_;
    if (const ResultCode rc = Save(); rc != result::kSuccess) return rc;
    return map.Count(RescueStatus::kBadSector) != 0 ? result::kReadFault : result::kSuccess;
  }

  std::uint64_t StartedMs() const { return started_; }

 private:
  std::uint64_t Settled() const {
    return job_.map.Count(RescueStatus::kFinished) + job_.map.Count(RescueStatus::kBadSector);
  }

  void Enter(RescuePhase phase, int pass, std::uint64_t position) {
    job_.map.phase = phase;
    job_.map.pass = pass;
    job_.map.position = position;
  }

  // The result of a stopped copy, with the map saved as it stands.
  ResultCode Stop() {
    const ResultCode saved = Save();
    if (stopCode_ != result::kSuccess) return stopCode_;
    return saved;
  }

  // Flushes the image before the map that describes it, so that the map never claims
  // sectors that a crash could still lose.
  ResultCode Save() {
    lastSave_ = platform::MonotonicMilliseconds();
    piecesSinceSave_ = 0;
    if (const ResultCode rc = job_.target.Flush(); rc != result::kSuccess) return rc;
    char now[64];
    const platform::LocalTime time = platform::LocalTimeNow();
    std::snprintf(now, sizeof now, "Current time: %04d-%02d-%02d %02d:%02d:%02d", time.year,
                  time.month, time.day, time.hour, time.minute, time.second);
    const std::vector<std::string> comments{
        "Mapfile. Created by Keldrive " KELDRIVE_VERSION,
        "Source: " + job_.source.handle->Name() + " from sector " +
            std::to_string(job_.area.First()) + ", " + std::to_string(job_.sectorSize) +
            "-byte sectors",
        "Image: " + job_.targetPath,
        now,
        PhaseText(job_.map.phase, job_.map.pass),
    };
    return SaveRescueMap(job_.mapPath, job_.map, static_cast<std::uint32_t>(job_.sectorSize),
                         comments);
  }

  // Reads `run` (at most one piece) in reads of `readBytes` and writes what arrived.
  // Returns the sectors copied, which are all of them unless a read failed; sets the stop
  // code on a write error.
  std::uint64_t ReadAndWrite(SectorRun run, std::uint32_t readBytes) {
    std::int32_t got = 0;
    ReadSectorsInPieces(job_.source, buffer_, job_.area.First() + run.First(),
                        static_cast<std::int32_t>(run.Count()), job_.sectorSize, readBytes, got);
    const auto good = static_cast<std::uint64_t>(std::max(got, 0));
    if (good == 0) return 0;
    const ResultCode rc = job_.target.WriteAt(run.First() * sectorBytes_,
                                              std::span<const std::uint8_t>(buffer_).first(
                                                  static_cast<std::size_t>(good * sectorBytes_)));
    if (rc != result::kSuccess) {
      stopCode_ = rc;
      return 0;
    }
    job_.map.Mark(run.Front(good), RescueStatus::kFinished);
    return good;
  }

  // Copies a piece in reads as large as the piece. When one fails, what follows it is read
  // again in 64 KiB reads, so that the failure is narrowed down to one of those.
  std::uint64_t CopyRun(SectorRun run) {
    std::uint64_t good = ReadAndWrite(run, pieceBytes_);
    // A failed read of no more than 64 KiB is narrow enough already.
    if (stopCode_ == result::kSuccess && run.Count() - good > readSectors_) {
      good += ReadAndWrite(run.After(good), kReadPieceBytes);
    }
    return stopCode_ == result::kSuccess ? good : 0;
  }

  // Records an unreadable sector, with zeros in its place in the image.
  void MarkBad(std::uint64_t sector) {
    const ResultCode rc = job_.target.WriteAt(sector * sectorBytes_, zeros_);
    if (rc != result::kSuccess) {
      stopCode_ = rc;
      return;
    }
    job_.map.Mark(*SectorRun::Make(sector, 1), RescueStatus::kBadSector);
  }

  // Reads one sector: copied, or marked unreadable.
  void ReadOneSector(std::uint64_t sector) {
    if (CopyRun(*SectorRun::Make(sector, 1)) == 0 && stopCode_ == result::kSuccess) {
      MarkBad(sector);
    }
  }

  // The next piece of `run` from its start: at most one piece, ending on a multiple of
  // the piece size so that reads stay aligned after a skip.
  SectorRun PieceFrom(SectorRun run) const {
    return run.Front(pieceSectors_ - run.First() % pieceSectors_);
  }

  // After a read that failed `good` sectors into `piece`: the read of at most 64 KiB that
  // failed becomes an area to trim; the rest of the piece is left to a later pass.
  SectorRun MarkFailed(SectorRun piece, std::uint64_t good) {
    const SectorRun failed = piece.After(good).Front(readSectors_);
    job_.map.Mark(failed, RescueStatus::kNonTrimmed);
    return failed;
  }

  Outcome CopyForwards(bool skipping) {
    std::uint64_t skip = initialSkip_;
    std::uint64_t& position = job_.map.position;
    while (const auto run = job_.map.FirstFrom(position, RescueStatus::kNonTried)) {
      const SectorRun piece = PieceFrom(*run);
      const std::uint64_t good = CopyRun(piece);
      if (stopCode_ != result::kSuccess) return Outcome::kStop;
      if (good == piece.Count()) {
        position = piece.End();
        skip = initialSkip_;
      } else {
        position = MarkFailed(piece, good).End();
        if (skipping) {
          position = std::min(run->End(), CheckedAdd64(position, skip).value_or(run->End()));
          skip = std::min(skip * 2, maxSkip_);
        }
      }
      if (AfterPiece() == Outcome::kStop) return Outcome::kStop;
    }
    return Outcome::kGoOn;
  }

  // Reads the areas left untried from the end towards the start, so that the far edge of
  // a damaged stretch is approached from the side after it.
  Outcome CopyBackwards() {
    std::uint64_t skip = initialSkip_;
    std::uint64_t& position = job_.map.position;
    while (const auto run = job_.map.LastBefore(position, RescueStatus::kNonTried)) {
      // The last piece of the run, starting on a multiple of the piece size.
      const std::uint64_t last = run->End() - 1;
      const std::uint64_t first = std::max(run->First(), last - last % pieceSectors_);
      const SectorRun piece = SectorRun::Between(first, run->End());
      const std::uint64_t good = CopyRun(piece);
      if (stopCode_ != result::kSuccess) return Outcome::kStop;
      position = piece.First();
      if (good != piece.Count()) {
        MarkFailed(piece, good);
        // The rest of the piece after the failed read stays untried for the next pass.
        if (good == 0) {
          position = position > run->First() + skip ? position - skip : run->First();
          skip = std::min(skip * 2, maxSkip_);
        }
      } else {
        skip = initialSkip_;
      }
      if (AfterPiece() == Outcome::kStop) return Outcome::kStop;
    }
    return Outcome::kGoOn;
  }

  Outcome Trim() {
    std::uint64_t& position = job_.map.position;
    while (const auto run = job_.map.FirstFrom(position, RescueStatus::kNonTrimmed)) {
      std::uint64_t front = run->First();
      std::uint64_t back = run->End();
      // Leading edge, then trailing edge, each up to its first unreadable sector.
      bool failed = false;
      while (!failed && front < back) {
        ReadOneSector(front);
        if (stopCode_ != result::kSuccess) return Outcome::kStop;
        failed = job_.map.StatusOf(front) == RescueStatus::kBadSector;
        ++front;
        position = front;
        if (AfterPiece() == Outcome::kStop) return Outcome::kStop;
      }
      failed = false;
      while (!failed && back > front) {
        --back;
        ReadOneSector(back);
        if (stopCode_ != result::kSuccess) return Outcome::kStop;
        failed = job_.map.StatusOf(back) == RescueStatus::kBadSector;
        if (AfterPiece() == Outcome::kStop) return Outcome::kStop;
      }
      job_.map.Mark(SectorRun::Between(front, back), RescueStatus::kNonScraped);
      position = run->End();
    }
    return Outcome::kGoOn;
  }

  Outcome Scrape() {
    std::uint64_t& position = job_.map.position;
    while (const auto run = job_.map.FirstFrom(position, RescueStatus::kNonScraped)) {
      ReadOneSector(run->First());
      if (stopCode_ != result::kSuccess) return Outcome::kStop;
      position = run->First() + 1;
      if (AfterPiece() == Outcome::kStop) return Outcome::kStop;
    }
    return Outcome::kGoOn;
  }

  // Progress, the time estimate and the periodic map save after every piece.
  Outcome AfterPiece() {
    ++piecesSinceSave_;
    const std::uint64_t now = platform::MonotonicMilliseconds();
    const std::uint64_t done = Settled();
    if (now - lastEstimate_ > kEstimateIntervalMs) {
      const std::uint64_t seconds = std::max<std::uint64_t>((now - started_) / 1000, 1);
      const std::uint64_t speed = std::max<std::uint64_t>(
          (done - std::min(done, settledAtStart_)) * sectorBytes_ / seconds, 1);
      const std::uint64_t left = (total_ - done) * sectorBytes_ / speed;
      secondsLeft_ = static_cast<std::int32_t>(
          std::min<std::uint64_t>(left, std::numeric_limits<std::int32_t>::max()));
      lastEstimate_ = now;
    }
    if (job_.callback != nullptr) {
      const ImageCopyState state{job_.map.phase, job_.map.pass,
                                 job_.map.Count(RescueStatus::kFinished),
                                 job_.map.Count(RescueStatus::kBadSector), job_.map.position};
      const auto percent = static_cast<std::int32_t>(total_ == 0 ? 100 : done * 100 / total_);
      const std::int32_t answer =
          job_.callback(job_.context, percent, done, total_, secondsLeft_, state);
      if (answer != 0) {
        stopCode_ = answer;
        return Outcome::kStop;
      }
    }
    if (now - lastSave_ >= job_.options.mapSaveIntervalMs) {
      if (const ResultCode rc = Save(); rc != result::kSuccess) {
        stopCode_ = rc;
        return Outcome::kStop;
      }
    }
    return Outcome::kGoOn;
  }

  DiskImageJob& job_;
  const std::uint64_t sectorBytes_;
  const std::uint64_t total_;
  const std::uint64_t readSectors_;  // sectors of one read call
  const std::uint32_t pieceBytes_;   // one read and write of a copying pass, 64 KiB or more
  const std::uint64_t pieceSectors_;
  const std::uint64_t initialSkip_;
  const std::uint64_t maxSkip_;
  std::vector<std::uint8_t> buffer_;
  const std::vector<std::uint8_t> zeros_;
  std::uint64_t started_ = 0;
  std::uint64_t lastEstimate_ = 0;
  std::uint64_t lastSave_ = 0;
  std::uint64_t settledAtStart_ = 0;
  std::uint64_t piecesSinceSave_ = 0;
  std::int32_t secondsLeft_ = -1;
  ResultCode stopCode_ = result::kSuccess;
};

void Summarise(const DiskImageJob& job, std::uint64_t startedMs, ImageCopySummary& summary) {
  const RescueMap& map = job.map;
  const auto bytes = [&](std::uint64_t sectors) {
    return sectors * static_cast<std::uint64_t>(job.sectorSize);
  };
  summary.sectorSize = job.sectorSize;
  summary.sectorsTotal = map.Sectors();
  summary.bytesCopied = bytes(map.Count(RescueStatus::kFinished));
  summary.bytesUnreadable = bytes(map.Count(RescueStatus::kBadSector));
  summary.bytesPending = bytes(map.Sectors()) - summary.bytesCopied - summary.bytesUnreadable;
  summary.unreadable = map.RunsWith(RescueStatus::kBadSector);
  summary.milliseconds = platform::MonotonicMilliseconds() - startedMs;
  summary.resumed = job.resumed;
  summary.mapPath = job.mapPath;
}

// Target and map may be new files or regular files, never the source or each other.
ResultCode CheckOutputPath(const std::string& path, const std::string& sourceName,
                           std::string& message) {
  const platform::PathKind kind = platform::QueryPathKind(path);
  if (kind == platform::PathKind::kDirectory) {
    message = path + " is a folder";
    return result::kDirectory;
  }
  if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kRegularFile) {
    message = path + " is a device or special file, not an image file";
    return result::kInvalidParameter;
  }
  if (platform::IsSameFile(path, sourceName)) {
    message = path + " is the medium being copied";
    return result::kInvalidParameter;
  }
  return result::kSuccess;
}

}  // namespace

std::string DefaultMapPath(const std::string& targetPath) {
  return targetPath + ".map";
}

ResultCode OpenDiskImageJob(DiskImageJob& job, SectorDevice source, std::int32_t sectorSize,
                            SectorRun area, const std::string& targetPath,
                            const ImageCopyOptions& options, ImageProgressCallback callback,
                            void* context, std::string& message) {
  message.clear();
  job.source = std::move(source);
  job.sectorSize = sectorSize;
  job.options = options;
  job.callback = callback;
  job.context = context;
  job.targetPath = targetPath;
  job.mapPath = options.mapPath.empty() ? DefaultMapPath(targetPath) : options.mapPath;
  job.resumed = false;
  job.target.Close();
  if (!job.source.IsOpen()) return result::kInvalidHandle;
  if (sectorSize <= 0) return result::kInvalidParameter;

  if (area.Count() == 0) area = SectorRun::Between(area.First(), job.source.totalSectors);
  job.area = area;
  const auto bytes = CheckedMul64(area.Count(), static_cast<std::uint64_t>(sectorSize));
  if (area.Empty() || area.End() > job.source.totalSectors || !bytes ||
      *bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    message = "the area to copy is empty or lies beyond the medium";
    return result::kInvalidParameter;
  }
  if (job.mapPath == targetPath || platform::IsSameFile(job.mapPath, targetPath)) {
    message = "the map cannot be the image itself";
    return result::kInvalidParameter;
  }
  const std::string sourceName = job.source.handle->Name();
  for (const std::string& path : {targetPath, job.mapPath}) {
    if (const ResultCode rc = CheckOutputPath(path, sourceName, message); rc != result::kSuccess) {
      return rc;
    }
  }

  const auto sectorBytes = static_cast<std::uint32_t>(sectorSize);
  bool fresh = !options.resume;
  if (options.resume) {
    const ResultCode rc = LoadRescueMap(job.mapPath, sectorBytes, job.map, message);
    if (rc == result::kFileNotFound &&
        platform::QueryPathKind(targetPath) == platform::PathKind::kMissing) {
      fresh = true;  // nothing was started yet
    } else if (rc == result::kFileNotFound) {
      message = "nothing to resume from: " + job.mapPath +
                " does not exist, so what the image holds is unknown";
      return rc;
    } else if (rc != result::kSuccess) {
      message = job.mapPath + ": " + (message.empty() ? DescribeResult(rc) : message);
      return rc;
    } else if (job.map.Sectors() != area.Count()) {
      message = job.mapPath + " describes " + std::to_string(job.map.Sectors()) +
                " sectors, the source has " + std::to_string(area.Count());
      return result::kInvalidData;
    }
  }

  if (fresh) {
    // The fresh map goes first: an old map must never outlive the image it describes,
    // or a later resume would trust it.
    job.map = RescueMap(area.Count());
    const std::vector<std::string> comments{"Mapfile. Created by Keldrive " KELDRIVE_VERSION};
    if (const ResultCode rc = SaveRescueMap(job.mapPath, job.map, sectorBytes, comments);
        rc != result::kSuccess) {
      message = job.mapPath + ": cannot save the map: " + DescribeResult(rc);
      return rc;
    }
    if (const ResultCode rc = platform::FileHandle::CreateAlways(targetPath, job.target);
        rc != result::kSuccess) {
      return rc;
    }
  } else {
    job.resumed = true;
    if (const ResultCode rc = platform::FileHandle::OpenAlways(targetPath, job.target);
        rc != result::kSuccess) {
      return rc;
    }
  }
  // The image has the area's size from the start: sectors not yet read are zeros, and
  // nothing of a longer file from before remains after it.
  if (const ResultCode rc = job.target.Truncate(*bytes); rc != result::kSuccess) return rc;
  return result::kSuccess;
}

ResultCode RunDiskImageJob(DiskImageJob& job, ImageCopySummary& summary) {
  if (!job.source.IsOpen() || !job.target.IsOpen()) return result::kInvalidHandle;
  Copier copier(job);
  const ResultCode rc = copier.Run();
  Summarise(job, copier.StartedMs(), summary);
  return rc;
}

ResultCode CopyDiskToImage(SectorDevice source, std::int32_t sectorSize, SectorRun area,
                           const std::string& targetPath, const ImageCopyOptions& options,
                           ImageProgressCallback callback, void* context,
                           ImageCopySummary& summary) {
  summary = ImageCopySummary{};
  DiskImageJob job;
  ResultCode rc = OpenDiskImageJob(job, std::move(source), sectorSize, area, targetPath, options,
                                   callback, context, summary.message);
  if (rc == result::kSuccess) rc = RunDiskImageJob(job, summary);
  CloseDevice(job.source);
  job.target.Close();
  return rc;
}

}  // namespace keldrive
