#include "fat/fast_fat_recovery.h"

#include <algorithm>
#include <cstring>

#include "disk/byte_reader.h"
#include "engine/cluster_address.h"
#include "engine/file_category.h"
#include "engine/folder_recovery.h"
#include "engine/scan_log_name.h"
#include "engine/text_encoding.h"
#include "fat/dir_entry.h"
#include "fat/entry_name.h"
#include "fat/fat_file_reader.h"
#include "platform/clock.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kBootRegionBytes = 4096;
constexpr std::size_t kMediaByteOffset = 0x15;
constexpr std::uint64_t kProgressIntervalMs = 5000;
// No folder holds more entries than this; a longer walk is a loop in a damaged volume.
constexpr std::uint32_t kMaxFolderEntries = 65536;
constexpr std::uint32_t kMaxHighWord = 256;
// A candidate's run of free clusters is checked this far; longer files rarely have more
// than one candidate left by then.
constexpr std::uint64_t kMaxCheckedRunClusters = 4096;
// How far a deleted folder is followed over free clusters of other data.
constexpr std::uint32_t kMaxSkippedFolderClusters = 8192;
constexpr std::size_t kLongNameUnits = 260;

bool IsDotName(const DirEntry& e) {
  return e.name[0] == '.' &&
         std::all_of(e.name.begin() + 1, e.name.end(), [](std::uint8_t b) { return b == ' '; });
}

bool IsDotDotName(const DirEntry& e) {
  return e.name[0] == '.' && e.name[1] == '.' &&
         std::all_of(e.name.begin() + 2, e.name.end(), [](std::uint8_t b) { return b == ' '; });
}

}  // namespace

CFastFatRecovery::CFastFatRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CFastFatRecovery::OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount,
                                        char16_t driveLetter, std::uint32_t deviceSectorBytes) {
  volumeStart_ = firstSector;
  sectorCount_ = sectorCount;
  driveLetter_ = driveLetter;
  if (deviceSectorBytes > kBootRegionBytes) deviceSectorBytes = 512;
  std::vector<std::uint8_t> boot(kBootRegionBytes);
  std::int32_t got = 0;
  std::vector<std::uint32_t> unreadable;
  const ResultCode rc = ReadSectors(device_, boot, volumeStart_,
                                    static_cast<std::int32_t>(kBootRegionBytes / deviceSectorBytes),
                                    static_cast<std::int32_t>(deviceSectorBytes), got, unreadable);
  // Only the boot sector itself is needed.
  if (rc != result::kSuccess && (rc != result::kReadFault || got == 0)) return rc;
  if (!ParseFatGeometry(boot, geometry_)) return result::kInvalidParameter;
  // From here on the volume is read in its own sectors.
  if (geometry_.bytesPerSector != deviceSectorBytes) {
    volumeStart_ = volumeStart_ * deviceSectorBytes / geometry_.bytesPerSector;
    sectorCount_ = sectorCount_ * deviceSectorBytes / geometry_.bytesPerSector;
  }
  table_.Attach(&device_, volumeStart_, geometry_);
  NoteGeometryDamage();
  // Every table starts with the boot sector's media byte: one that does not was not found
  // where the boot sector says it lies.
  std::uint32_t firstEntry = 0;
  if (boot.size() > kMediaByteOffset && table_.Entry(0, firstEntry) == result::kSuccess &&
      (firstEntry & 0xFF) != boot[kMediaByteOffset]) {
    NoteDamage(
        "the file allocation table is not where the boot sector says (its reserved "
        "sectors or table size are damaged); folders and files may not be found");
  }
  return result::kSuccess;
}

void CFastFatRecovery::NoteGeometryDamage() {
  const std::uint64_t mediumSectors = device_.TotalBytes() / geometry_.bytesPerSector;
  const std::uint64_t held =
      std::min(sectorCount_, mediumSectors - std::min(volumeStart_, mediumSectors));
  if (geometry_.totalSectors > held) {
    NoteDamage("the volume is cut short: its boot sector claims " +
               std::to_string(geometry_.totalSectors) + " sectors, the medium holds " +
               std::to_string(held) + "; it is scanned as far as the medium goes");
  }
  if (geometry_.dataAreaSector >= held) {
    NoteDamage(
        "its tables and folders would lie beyond the end of the medium (boot sector "
        "damaged or volume cut short)");
  } else if (geometry_.IsFat32() &&
             (geometry_.rootCluster < 2 || geometry_.rootCluster > geometry_.LastCluster())) {
    NoteDamage("the boot sector names root folder cluster " +
               std::to_string(geometry_.rootCluster) + ", which is not in the volume (damaged)");
  }
}

std::optional<std::uint64_t> CFastFatRecovery::ClusterSector(std::uint32_t cluster) const {
  if (cluster == 0 && !geometry_.IsFat32()) return volumeStart_ + geometry_.RootDirSector();
  if (cluster < 2 || cluster > geometry_.LastCluster()) return std::nullopt;
  return volumeStart_ + geometry_.dataAreaSector +
         static_cast<std::uint64_t>(cluster - 2) * geometry_.sectorsPerCluster;
}

ResultCode CFastFatRecovery::ReadSector(std::uint64_t sector, std::vector<std::uint8_t>& out) {
  out.resize(geometry_.bytesPerSector);
  std::int32_t got = 0;
  const ResultCode rc = ReadSectors(device_, out, sector, 1,
                                    static_cast<std::int32_t>(geometry_.bytesPerSector), got);
  return got == 1 ? result::kSuccess : (rc != result::kSuccess ? rc : result::kReadFault);
}

ResultCode CFastFatRecovery::Scan(std::string_view logName) {
  if (!ready_) return NotReady();
  folderQueue_.clear();
  walked_.clear();
  folderMap_.clear();
  foldersToRecord_.clear();
  foldersToRecordSet_.clear();
  depthCache_.clear();
  bool loaded = false;
  if (const ResultCode rc =
          StartLog(logName, kQuickLogPrefix, static_cast<std::int64_t>(volumeStart_), loaded);
      rc != result::kSuccess || loaded) {
    return rc;
  }

  folderQueue_.push_back(RootFolder());
  ResultCode result = ReportScan(1, -1, 0, 0);
  std::uint64_t lastReport = platform::MonotonicMilliseconds();
  std::int32_t reports = 0;
  while (result == result::kSuccess && !folderQueue_.empty()) {
    const std::uint32_t cluster = folderQueue_.front();
    folderQueue_.pop_front();
    if (!walked_.insert(cluster).second) continue;
    WalkFolder(cluster);
    const std::uint64_t now = platform::MonotonicMilliseconds();
    if (now - lastReport >= kProgressIntervalMs) {
      lastReport = now;
      const std::int32_t step =
          weight_ == 100 ? std::min(2 + reports, 79) : std::min(21 + reports, 79);
      result = ReportScan(step, weight_ == 100 ? std::max(99 - reports, 11) : -1, 0, 0);
      ++reports;
    }
  }
  if (result == result::kSuccess) result = ReportScan(80, 10, 0, 0);
  if (table_.SectorsFromCopy() != 0) {
    NoteDamage(std::to_string(table_.SectorsFromCopy()) +
               " sectors of the first file allocation table could not be read or were damaged; "
               "the next copy of the table was used for them");
  }
  // Even a stopped scan keeps its folders, so what it found can be browsed.
  RecordFolders();
  if (result == result::kSuccess) result = ReportScan(100, 0, 0, 0);
  const ResultCode flushed = log_->Flush();
  return result != result::kSuccess ? result : flushed;
}

void CFastFatRecovery::WalkFolder(std::uint32_t firstCluster) {
  const bool fixedRoot = firstCluster == 0 && !geometry_.IsFat32();
  const bool isRoot = fixedRoot || (geometry_.IsFat32() && firstCluster == geometry_.rootCluster);
  const auto known = folderMap_.find(firstCluster);
  const bool isKnown = known != folderMap_.end();
  const bool insideDeleted = isKnown && known->second.isDeleted != 0;

  std::uint32_t parent = firstCluster;
  std::array<char16_t, kLongNameUnits> longName{};
  std::size_t fill = kLongNameUnits;
  const auto clearLongName = [&] { fill = kLongNameUnits; };

  const std::uint32_t bps = geometry_.bytesPerSector;
  const std::uint32_t sectorsPerRead =
      fixedRoot ? geometry_.rootDirSectors : geometry_.sectorsPerCluster;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(sectorsPerRead) * bps);
  std::unordered_set<std::uint32_t> clustersSeen;
  std::vector<std::uint32_t> unreadable;
  std::uint32_t entries = 0;
  std::uint32_t cluster = firstCluster;

  for (bool firstRead = true;; firstRead = false) {
    const auto sector = ClusterSector(cluster);
    if (!sector || !clustersSeen.insert(cluster).second) return;
    std::int32_t got = 0;
    const ResultCode read =
        ReadSectors(device_, buffer, *sector, static_cast<std::int32_t>(sectorsPerRead),
                    static_cast<std::int32_t>(bps), got, unreadable);
    if (read != result::kSuccess && read != result::kReadFault) return;
    const std::size_t bytes = buffer.size();
    const auto isUnreadable = [&](std::size_t sectorIndex) {
      return std::find(unreadable.begin(), unreadable.end(), sectorIndex) != unreadable.end();
    };
    // A known folder that no longer starts with "." and ".." had its clusters reused.
    if (firstRead && isKnown && !isRoot && !isUnreadable(0) && !IsDotPairSector(buffer)) return;

    for (std::size_t at = 0; at + kDirEntryBytes <= bytes; at += kDirEntryBytes) {
      // The entries of a sector that cannot be read are lost; the folder goes on after it.
      if (!unreadable.empty() && isUnreadable(at / bps)) {
        at += bps - kDirEntryBytes;
        clearLongName();
        continue;
      }
      if (++entries > kMaxFolderEntries) return;
      const auto raw = std::span<const std::uint8_t>(buffer).subspan(at, kDirEntryBytes);
      if (raw[0] == 0) return;
      const auto next =
          at + 2 * kDirEntryBytes <= bytes
              ? std::span<const std::uint8_t>(buffer).subspan(at + kDirEntryBytes, kDirEntryBytes)
              : std::span<const std::uint8_t>();
      if (!IsValidDirEntry(raw, next)) {
        clearLongName();
        continue;
      }
      DirEntry e;
      if (!ParseDirEntry(raw, e)) continue;
      if (e.IsLongName()) {
        if (fill < kLongNameChars + 1) return;  // more pieces than any name has
        LongNameEntry piece;
        ParseLongNameEntry(raw, piece);
        fill -= kLongNameChars;
        std::copy(piece.chars.begin(), piece.chars.end(),
                  longName.begin() + static_cast<std::ptrdiff_t>(fill));
        continue;
      }
      const bool deleted = e.IsDeleted();
      std::string name = fill < kLongNameUnits ? Utf16ToUtf8Lossy(std::span(longName).subspan(fill))
                                               : ShortEntryName(e);
      if (name.empty()) name = ShortEntryName(e);
      clearLongName();
      const std::uint64_t entrySector = *sector + at / bps;

      std::uint32_t firstDataCluster =
          geometry_.IsFat32() ? e.FirstCluster() : static_cast<std::uint32_t>(e.clusterLow);

      if (e.IsDirectory()) {
        if (IsDotName(e)) {
          parent = firstDataCluster;
          continue;
        }
        if (IsDotDotName(e)) continue;
        if (geometry_.IsFat32() && deleted && e.clusterHigh == 0) {
          firstDataCluster = SearchHighWord(e.clusterLow, true, {}, parent, 0);
        }
        FoundFile folder;
        folder.isFolder = 1;
        folder.isDeleted = deleted || insideDeleted ? 1 : 0;
        folder.recordNumber = parent;  // the parent, until the folder is recorded
        folder.startCluster = firstDataCluster;
        folder.clusterBytes = geometry_.ClusterBytes();
        folder.created = FatTimeToFileTime(e.creationDate, e.creationTime, e.creationHundredths);
        folder.accessed = FatTimeToFileTime(e.accessDate, 0);
        folder.modified = FatTimeToFileTime(e.writeDate, e.writeTime);
        folder.dataAreaSector = geometry_.dataAreaSector;
        folder.entrySector = entrySector;
        folder.volumeStartSector = volumeStart_;
        folder.driveLetter = driveLetter_;
        folder.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kQuickFat);
        folder.SetName(name);
        if (firstDataCluster >= 2 && firstDataCluster <= geometry_.LastCluster() &&
            firstDataCluster != parent) {
          folderQueue_.push_back(firstDataCluster);
          folderMap_[firstDataCluster] = folder;
        }
        continue;
      }
      if ((e.attributes & fat_attr::kArchive) == 0 || !(deleted || insideDeleted)) continue;

      if (geometry_.IsFat32() && deleted && e.clusterHigh == 0) {
        firstDataCluster = SearchHighWord(e.clusterLow, false, ExtensionOf(name), parent, e.size);
      }
      FoundFile file;
      file.contentOk = 1;
      file.created = FatTimeToFileTime(e.creationDate, e.creationTime, e.creationHundredths);
      file.accessed = FatTimeToFileTime(e.accessDate, 0);
      file.modified = FatTimeToFileTime(e.writeDate, e.writeTime);
      file.startCluster = firstDataCluster;
      file.size = e.size;
      file.entrySector = entrySector;
      file.volumeStartSector = volumeStart_;
      file.dataAreaSector = geometry_.dataAreaSector;
      file.clusterBytes = geometry_.ClusterBytes();
      file.driveLetter = driveLetter_;
      file.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kQuickFat);
      file.isDeleted = 1;
      file.SetName(name);
      file.contentOk = ContentOk(file);
      const std::uint32_t number = log_->AppendRecord(file);
      log_->AddChild(parent, FolderDepth(parent), number);
      MarkFoldersToRecord(parent);
    }

    if (fixedRoot) return;
    std::uint32_t entry = 1;
    const bool freed = table_.Entry(cluster, entry) == result::kSuccess && entry == 0;
    const auto following = freed ? NextDeletedFolderCluster(cluster) : table_.NextCluster(cluster);
    if (!following) return;
    cluster = *following;
  }
}

std::optional<std::uint32_t> CFastFatRecovery::NextDeletedFolderCluster(std::uint32_t cluster) {
  // A deleted folder that grew while files were written into it has their data between
  // its own clusters. Its next cluster is the next free one that holds directory entries;
  // free clusters of other data are passed over, and the start of another folder ends it.
  std::vector<std::uint8_t> sector;
  std::uint32_t current = cluster;
  for (std::uint32_t skipped = 0; skipped <= kMaxSkippedFolderClusters; ++skipped) {
    const auto next = table_.NextFreeCluster(current);
    if (!next) return std::nullopt;
    const auto first = ClusterSector(*next);
    if (!first || ReadSector(*first, sector) != result::kSuccess) return std::nullopt;
    if (IsDotPairSector(sector)) return std::nullopt;
    if (IsFatDirectorySector(sector)) return *next;
    current = *next;
  }
  return std::nullopt;
}

std::uint32_t CFastFatRecovery::FolderDepth(std::uint32_t cluster) {
  const std::uint32_t root = RootFolder();
  if (cluster == root || cluster == 0) return 0;
  if (const auto cached = depthCache_.find(cluster); cached != depthCache_.end()) {
    return cached->second;
  }
  // Climb the ".." entries up to the root.
  std::uint32_t depth = 0;
  std::uint32_t current = cluster;
  std::unordered_set<std::uint32_t> visited{cluster};
  std::vector<std::uint8_t> sector;
  while (true) {
    if (const auto cached = depthCache_.find(current);
        current != cluster && cached != depthCache_.end()) {
      depth += cached->second;
      break;
    }
    const auto first = ClusterSector(current);
    if (!first || ReadSector(*first, sector) != result::kSuccess || sector.size() < 64) break;
    DirEntry dot, dotDot;
    ParseDirEntry(std::span(sector).first(32), dot);
    ParseDirEntry(std::span(sector).subspan(32, 32), dotDot);
    if (!IsDotName(dot) || dot.IsVolumeLabel() || dotDot.name[0] != '.' || dotDot.name[1] != '.') {
      break;
    }
    ++depth;
    const std::uint32_t up = geometry_.IsFat32() ? dotDot.FirstCluster() : dotDot.clusterLow;
    if (up == 0 || up == root || !visited.insert(up).second) break;
    current = up;
  }
  depthCache_[cluster] = depth;
  return depth;
}

std::uint32_t CFastFatRecovery::SearchHighWord(std::uint16_t low, bool folder,
                                               std::string_view extension,
                                               std::uint32_t parentCluster, std::uint64_t size) {
  // Every high word gives a candidate. A deleted file's clusters are free, so a candidate
  // whose run of clusters is not is another file's; where the type allows, its first
  // sector must fit the type. Of those left, the one nearest the folder wins: a FAT driver
  // allocates near the folder it writes into.
  const std::uint64_t clusterBytes = std::max<std::uint64_t>(1, geometry_.ClusterBytes());
  const std::uint64_t runClusters = std::min<std::uint64_t>(
      kMaxCheckedRunClusters, std::max<std::uint64_t>(1, (size + clusterBytes - 1) / clusterBytes));
  std::vector<std::uint8_t> sector;
  // The nearest candidate whose content fits, and the nearest whatever its content: a
  // file whose type the check does not recognise (a damaged header) still lies nearby.
  std::optional<std::uint32_t> best, nearest;
  std::uint64_t bestDistance = 0, nearestDistance = 0;
  for (std::uint32_t high = 0; high <= kMaxHighWord; ++high) {
    const std::uint32_t candidate = high << 16 | low;
    if (candidate < 2) continue;  // a low word of 0 or 1 names a cluster from 65536 on
    const auto first = ClusterSector(candidate);
    if (!first) break;
    const std::uint64_t distance =
        candidate > parentCluster ? candidate - parentCluster : parentCluster - candidate;
    // Farther than a fitting candidate already found: it cannot win, and is not read.
    if (best && distance >= bestDistance) continue;
    if (!folder && !RunIsFree(candidate, runClusters)) continue;
    if (ReadSector(*first, sector) != result::kSuccess) continue;
    if (folder) {
      if (sector.size() < 34 || sector[0] != '.' || sector[1] != ' ' || sector[32] != '.' ||
          sector[33] != '.') {
        continue;
      }
    } else {
      if (!nearest || distance < nearestDistance) {
        nearest = candidate;
        nearestDistance = distance;
      }
      if (!extension.empty() && environment_.contentCheck &&
          !environment_.contentCheck(extension, sector, device_, geometry_.bytesPerSector,
                                     *first)) {
        continue;
      }
    }
    if (!best || distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  // Without a fitting candidate the nearest free one is taken; its content test fails,
  // and the listing says so.
  return best ? *best : nearest.value_or(low);
}

bool CFastFatRecovery::RunIsFree(std::uint32_t first, std::uint64_t clusters) {
  // The clusters the reader takes: free ones from the first on, past clusters in use as a
  // fragmented deleted file goes on past them, but not through more used than free ones.
  std::uint32_t entry = 1;
  if (table_.Entry(first, entry) != result::kSuccess || entry != 0) return false;
  std::uint64_t found = 0, used = 0;
  for (std::uint64_t cluster = first; found < clusters; ++cluster) {
    if (cluster > geometry_.LastCluster() ||
        table_.Entry(static_cast<std::uint32_t>(cluster), entry) != result::kSuccess) {
      return false;
    }
    if (entry == 0) {
      ++found;
    } else if (++used > clusters) {
      return false;
    }
  }
  return true;
}

std::uint32_t CFastFatRecovery::ContentOk(const FoundFile& record) {
  const std::string extension = ExtensionOf(record.Name());
  if (extension.empty() || !environment_.contentCheck) return 1;
  const auto first = record.startCluster >= 2 ? ClusterSector(record.startCluster) : std::nullopt;
  std::vector<std::uint8_t> sector;
  if (!first || ReadSector(*first, sector) != result::kSuccess) return 1;
  return environment_.contentCheck(extension, sector, device_, geometry_.bytesPerSector, *first)
             ? 1
             : 0;
}

void CFastFatRecovery::MarkFoldersToRecord(std::uint32_t cluster) {
  const std::uint32_t root = RootFolder();
  std::unordered_set<std::uint32_t> seen;
  while (seen.insert(cluster).second) {
    if (foldersToRecordSet_.insert(cluster).second) foldersToRecord_.push_back(cluster);
    const auto found = folderMap_.find(cluster);
    if (found == folderMap_.end()) return;
    const std::uint32_t parent = found->second.recordNumber;
    if (parent == cluster || parent == root) return;
    cluster = parent;
  }
}

void CFastFatRecovery::RecordFolders() {
  for (const std::uint32_t cluster : foldersToRecord_) {
    const auto found = folderMap_.find(cluster);
    if (found == folderMap_.end()) continue;
    FoundFile folder = found->second;
    const std::uint32_t parent = folder.recordNumber;
    folder.recordNumber = 0;
    const std::uint32_t number = log_->AppendRecord(folder);
    log_->AddChild(parent, FolderDepth(parent), number, folder.startCluster, folder.Name());
  }
}

ResultCode CFastFatRecovery::BuildUsedClusterMap() {
  if (!ready_) return result::kInvalidParameter;
  usedMap_.Build(table_);
  return result::kSuccess;
}

std::int32_t CFastFatRecovery::NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) {
  length = 0;
  if (!ready_) return 1;
  if (usedMap_.Empty()) usedMap_.Build(table_);
  usedMap_.NextFreeExtent(geometry_, sectorCount_, sector, length);
  return 1;
}

CopyFileData CFastFatRecovery::DataOf(const FoundFile& record) {
  return [this, &record](std::uint64_t limit, const DataSink& sink, const PieceReport& report) {
    return CopyFatFileData(device_, &table_, geometry_.bytesPerSector, record, limit, sink, report);
  };
}

ByteRunsAnswer CFastFatRecovery::ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) {
  runs.clear();
  if (!ready_ || record.isFolder != 0) return ByteRunsAnswer::kUnknown;
  return FatByteRuns(&table_, geometry_.bytesPerSector, record, runs);
}

}  // namespace keldrive
