#include "fat/professional_fat_recovery.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/file_category.h"
#include "engine/scan_log_name.h"
#include "engine/text_encoding.h"
#include "fat/entry_name.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kMaxClimb = 4096;  // folder levels followed up through ".." entries
constexpr std::size_t kLongNameUnits = 260;
constexpr std::size_t kMaxCachedFolders = 1u << 20;

bool IsDotName(const DirEntry& e) {
  return e.name[0] == '.' &&
         std::all_of(e.name.begin() + 1, e.name.end(), [](std::uint8_t b) { return b == ' '; });
}

bool IsDotDotName(const DirEntry& e) {
  return e.name[0] == '.' && e.name[1] == '.' &&
         std::all_of(e.name.begin() + 2, e.name.end(), [](std::uint8_t b) { return b == ' '; });
}

std::uint64_t CacheKey(int geometry, std::uint32_t cluster) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(geometry + 1)) << 32 | cluster;
}

}  // namespace

CProfessionalFatRecovery::CProfessionalFatRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CProfessionalFatRecovery::Scan(std::string_view) {
  return result::kSuccess;
}

std::int32_t CProfessionalFatRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t&) {
  return 0;
}

ResultCode CProfessionalFatRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

ResultCode CProfessionalFatRecovery::OpenVolume(std::uint64_t firstSector,
                                                std::uint64_t sectorCount, char16_t driveLetter,
                                                std::uint32_t deviceSectorBytes) {
  volumeStart_ = firstSector;
  sectorCount_ = sectorCount;
  driveLetter_ = driveLetter;
  bytesPerSector_ = deviceSectorBytes;
  return result::kSuccess;
}

void CProfessionalFatRecovery::Reset() {
  rootCluster_ = 2;
  geometries_.clear();
  observations_.clear();
  lastObservation_.reset();
  folderMap_.clear();
  foldersToRecord_.clear();
  pending_.clear();
  fragments_.clear();
  held_.clear();
  heldBytes_ = 0;
  droppedSectors_ = 0;
  context_.reset();
  openFolders_.clear();
  startCache_.clear();
  depthCache_.clear();
}

ResultCode CProfessionalFatRecovery::BeginFatScan(std::string_view logName) {
  if (!ready_) return NotReady();
  Reset();
  bool loaded = false;
  return StartLog(logName, kProfessionalFatLogPrefix, static_cast<std::int64_t>(volumeStart_),
                  loaded);
}

bool CProfessionalFatRecovery::ReadSector(std::uint64_t sector, std::vector<std::uint8_t>& out) {
  out.assign(bytesPerSector_, 0);
  std::int32_t got = 0;
  ReadSectors(device_, out, sector, 1, static_cast<std::int32_t>(bytesPerSector_), got);
  return got == 1;
}

CProfessionalFatRecovery::FolderStart CProfessionalFatRecovery::ReadFolderStart(
    int geometry, std::uint32_t cluster) {
  if (geometry < 0 || cluster < 2) return {};
  const std::uint64_t key = CacheKey(geometry, cluster);
  if (const auto cached = startCache_.find(key); cached != startCache_.end()) {
    return cached->second;
  }
  FolderStart start;
  std::vector<std::uint8_t> sector;
  const auto first = ClusterSector(geometry, cluster);
  if (first && ReadSector(*first, sector) && IsDotPairSector(sector)) {
    DirEntry dotDot;
    ParseDirEntry(std::span<const std::uint8_t>(sector).subspan(kDirEntryBytes, kDirEntryBytes),
                  dotDot);
    start.dotPair = true;
    start.parent = dotDot.FirstCluster();
  }
  if (startCache_.size() >= kMaxCachedFolders) startCache_.clear();
  startCache_[key] = start;
  return start;
}

bool CProfessionalFatRecovery::IsRootCluster(int geometry, std::uint32_t cluster) {
  if (cluster == kRoot) return true;
  if (geometry < 0) return false;
  const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
  return g.rootCluster != 0 && cluster == g.rootCluster &&
         !ReadFolderStart(geometry, cluster).dotPair;
}

std::uint32_t CProfessionalFatRecovery::ParentOf(int geometry, std::uint32_t cluster) {
  const FolderStart start = ReadFolderStart(geometry, cluster);
  if (!start.dotPair || start.parent == 0 || IsRootCluster(geometry, start.parent)) return kRoot;
  return start.parent;
}

std::uint32_t CProfessionalFatRecovery::Depth(int geometry, std::uint32_t folder) {
  if (IsRootCluster(geometry, folder)) return 0;
  const std::uint64_t key = CacheKey(geometry, folder);
  if (const auto cached = depthCache_.find(key); cached != depthCache_.end()) {
    return cached->second;
  }
  std::uint32_t depth = 1;
  std::unordered_set<std::uint32_t> visited{folder};
  std::uint32_t current = folder;
  for (std::uint32_t climbed = 0; climbed < kMaxClimb; ++climbed) {
    const FolderStart start = ReadFolderStart(geometry, current);
    // A folder that does not start with "." and ".." counts one level, under the root.
    if (!start.dotPair || start.parent == 0 || IsRootCluster(geometry, start.parent) ||
        !visited.insert(start.parent).second) {
      break;
    }
    ++depth;
    current = start.parent;
  }
  if (depthCache_.size() >= kMaxCachedFolders) depthCache_.clear();
  depthCache_[key] = depth;
  return depth;
}

std::pair<std::uint32_t, int> CProfessionalFatRecovery::ResolveFolder(
    std::span<const std::uint8_t> sector, std::uint32_t cluster, int geometry,
    std::uint64_t absoluteSector, bool clusterStart) {
  DirEntry first;
  if (!ParseDirEntry(sector.first(std::min(sector.size(), kDirEntryBytes)), first)) {
    return {cluster, geometry};
  }
  if (first.IsVolumeLabel()) {
    // The root folder, under the geometry that has its root here.
    for (std::size_t i = 0; i < geometries_.size(); ++i) {
      if (RootAt(static_cast<int>(i), absoluteSector)) return {kRoot, static_cast<int>(i)};
    }
    return {kRoot, kNoGeometry};
  }
  if (IsDotPairSector(sector)) return {first.FirstCluster(), geometry};
  if (geometry < 0 || cluster == kRoot) return {cluster, geometry};
  if (IsRootCluster(geometry, cluster)) return {kRoot, geometry};
  if (ReadFolderStart(geometry, cluster).dotPair) return {cluster, geometry};

  // A later cluster of some folder: a sub-folder listed here names it through its "..".
  for (std::size_t at = 0; at + kDirEntryBytes <= sector.size(); at += kDirEntryBytes) {
    DirEntry e;
    if (!ParseDirEntry(sector.subspan(at, kDirEntryBytes), e) || e.name[0] == 0) break;
    if (!e.IsDirectory() || e.IsLongName() || e.IsDeleted() || IsDotName(e) || IsDotDotName(e)) {
      continue;
    }
    const FolderStart sub = ReadFolderStart(geometry, e.FirstCluster());
    if (sub.dotPair) return {ParentOf(geometry, e.FirstCluster()), geometry};
  }
  // Otherwise the folder most likely to have grown into it: of the folders of this data
  // area whose last cluster was full, the one whose last cluster comes closest before it.
  if (clusterStart && cluster >= 2) {
    auto best = openFolders_.end();
    for (auto it = openFolders_.begin(); it != openFolders_.end(); ++it) {
      if (it->second.geometry != geometry || it->second.lastCluster >= cluster) continue;
      if (best == openFolders_.end() || it->second.lastCluster > best->second.lastCluster)
        best = it;
    }
    if (best != openFolders_.end()) return {best->first, geometry};
  }
  return {cluster, geometry};
}

CProfessionalFatRecovery::ParseResult CProfessionalFatRecovery::ParseContent(
    std::span<const std::uint8_t> bytes, std::uint32_t folder, int geometry, std::uint64_t sector,
    std::size_t prefixBytes, std::uint64_t prefixSector) {
  ParseResult out;
  out.folder = folder;
  out.geometry = geometry;
  std::array<char16_t, kLongNameUnits> longName{};
  std::size_t fill = kLongNameUnits;
  std::size_t runStart = 0;
  std::uint8_t runChecksum = 0;
  bool runComplete = false;
  const auto clear = [&] { fill = kLongNameUnits; };

  for (std::size_t at = 0; at + kDirEntryBytes <= bytes.size(); at += kDirEntryBytes) {
    const auto raw = bytes.subspan(at, kDirEntryBytes);
    if (raw[0] == 0) {
      out.ended = true;
      clear();
      break;
    }
    const auto next = at + 2 * kDirEntryBytes <= bytes.size()
                          ? bytes.subspan(at + kDirEntryBytes, kDirEntryBytes)
                          : std::span<const std::uint8_t>();
    DirEntry e;
    if (!IsValidDirEntry(raw, next) || !ParseDirEntry(raw, e)) {
      clear();
      continue;
    }
    if (e.IsLongName()) {
      LongNameEntry piece;
      ParseLongNameEntry(raw, piece);
      if (fill == kLongNameUnits || piece.checksum != runChecksum) {
        clear();
        runStart = at;
        runChecksum = piece.checksum;
        // The piece stored first carries the name's end; a run that starts elsewhere
        // began in an earlier sector.
        runComplete = e.IsDeleted() || (piece.sequence & 0x40) != 0;
      }
      if (fill < kLongNameChars + 1) {
        clear();
        continue;
      }
      fill -= kLongNameChars;
      std::copy(piece.chars.begin(), piece.chars.end(),
                longName.begin() + static_cast<std::ptrdiff_t>(fill));
      continue;
    }
    std::string name;
    if (fill < kLongNameUnits && runComplete &&
        (e.IsDeleted() ||
         LongNameChecksum(std::span<const std::uint8_t, 11>(e.name.data(), 11)) == runChecksum)) {
      name = Utf16ToUtf8Lossy(std::span(longName).subspan(fill));
    }
    if (name.empty()) name = ShortEntryName(e);
    clear();
    const std::uint64_t entrySector =
        at < prefixBytes ? prefixSector : sector + (at - prefixBytes) / bytesPerSector_;
    if (e.IsDirectory()) {
      if (IsDotName(e)) {
        if (e.FirstCluster() >= 2) out.folder = e.FirstCluster();
        continue;
      }
      if (IsDotDotName(e)) continue;
      TakeFolder(e, name, out.folder, geometry, entrySector);
    } else if ((e.attributes & fat_attr::kArchive) != 0) {
      TakeFile(e, name, out.folder, geometry, entrySector);
    }
  }
  if (fill < kLongNameUnits) {
    NameFragment fragment;
    fragment.checksum = runChecksum;
    fragment.folder = out.folder;
    fragment.sector = sector + (bytes.size() - prefixBytes) / bytesPerSector_ -
                      (bytes.size() > prefixBytes ? 1 : 0);
    fragment.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(runStart), bytes.end());
    fragment.geometry = geometry;
    out.unfinished = std::move(fragment);
  }
  return out;
}

void CProfessionalFatRecovery::ParseAndKeep(std::span<const std::uint8_t> bytes,
                                            std::uint32_t folder, int geometry,
                                            std::uint64_t sector, std::size_t prefixBytes,
                                            std::uint64_t prefixSector) {
  ParseResult parsed = ParseContent(bytes, folder, geometry, sector, prefixBytes, prefixSector);
  if (parsed.unfinished) {
    if (fragments_.size() >= kMaxFragments) fragments_.pop_front();
    fragments_.push_back(std::move(*parsed.unfinished));
  }
  // Remember which folders filled their last cluster, for the clusters they grew into.
  if (parsed.geometry >= 0 && parsed.folder != kRoot) {
    const auto place = ClusterOf(parsed.geometry, sector);
    if (parsed.ended) {
      openFolders_.erase(parsed.folder);
    } else if (place && place->first != kRoot &&
               sector + 1 ==
                   place->second +
                       geometries_[static_cast<std::size_t>(parsed.geometry)].sectorsPerCluster) {
      if (openFolders_.size() < kMaxFolders || openFolders_.contains(parsed.folder)) {
        openFolders_[parsed.folder] = {parsed.geometry, place->first};
      }
    }
  }
  if (context_ && parsed.geometry >= 0 && context_->geometry == parsed.geometry &&
      sector >= context_->first && sector < context_->end) {
    context_->folder = parsed.folder;
  }
}

void CProfessionalFatRecovery::OnFolderStartSector(std::span<const std::uint8_t> sector,
                                                   std::uint64_t absoluteSector) {
  if (!ready_ || !log_) return;
  DirEntry dot;
  if (!ParseDirEntry(sector.first(std::min(sector.size(), kDirEntryBytes)), dot)) return;
  const std::uint32_t cluster = dot.FirstCluster();
  int geometry = ExactGeometry(cluster, absoluteSector);
  if (geometry == kNoGeometry && cluster >= 2) {
    const Observation seen{cluster, absoluteSector};
    // The most recent observations first: they most likely lie in the same volume.
    for (auto it = observations_.rbegin(); it != observations_.rend(); ++it) {
      if (const auto derived = Derive(*it, seen)) {
        AddGeometry(*derived);
        break;
      }
    }
    if (observations_.size() >= kMaxObservations) observations_.pop_front();
    observations_.push_back(seen);
    geometry = ExactGeometry(cluster, absoluteSector);
    if (geometry != kNoGeometry) ResolvePending(false);
  }
  lastObservation_ = {absoluteSector, geometry};
  context_.reset();
  if (geometry != kNoGeometry) {
    context_ =
        Context{geometry, cluster, absoluteSector,
                absoluteSector + geometries_[static_cast<std::size_t>(geometry)].sectorsPerCluster};
  }
  ParseAndKeep(sector, cluster, geometry, absoluteSector);
}

bool CProfessionalFatRecovery::JoinFragment(std::span<const std::uint8_t> sector,
                                            std::uint64_t absoluteSector) {
  DirEntry first;
  if (!ParseDirEntry(sector.first(std::min(sector.size(), kDirEntryBytes)), first)) return false;
  for (auto it = fragments_.begin(); it != fragments_.end(); ++it) {
    if (absoluteSector <= it->sector) continue;
    bool continues = false;
    if (first.IsLongName()) {
      continues = sector[13] == it->checksum;
    } else if (first.IsDeleted()) {
      const std::uint64_t spc =
          it->geometry >= 0 ? geometries_[static_cast<std::size_t>(it->geometry)].sectorsPerCluster
                            : 1;
      continues = absoluteSector - it->sector < std::max<std::uint64_t>(spc, 2);
    } else {
      continues = LongNameChecksum(std::span<const std::uint8_t, 11>(first.name.data(), 11)) ==
                  it->checksum;
    }
    if (!continues) continue;
    NameFragment fragment = std::move(*it);
    fragments_.erase(it);
    std::vector<std::uint8_t> joined = std::move(fragment.bytes);
    const std::size_t prefix = joined.size();
    joined.insert(joined.end(), sector.begin(), sector.end());
    int geometry = fragment.geometry;
    if (geometry == kNoGeometry) geometry = PlacingGeometry(absoluteSector);
    if (geometry >= 0) {
      if (const auto place = ClusterOf(geometry, absoluteSector)) {
        const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
        context_ =
            Context{geometry, fragment.folder, place->second,
                    place->first == kRoot ? g.DataSector() : place->second + g.sectorsPerCluster};
      }
    }
    ParseAndKeep(joined, fragment.folder, geometry, absoluteSector, prefix, fragment.sector);
    return true;
  }
  return false;
}

void CProfessionalFatRecovery::OnFatDirectorySector(std::span<const std::uint8_t> sector,
                                                    std::uint64_t absoluteSector) {
  if (!ready_ || !log_) return;
  if (JoinFragment(sector, absoluteSector)) return;
  if (context_ && absoluteSector > context_->first && absoluteSector < context_->end) {
    ParseAndKeep(sector, context_->folder, context_->geometry, absoluteSector);
    return;
  }
  const int geometry = PlacingGeometry(absoluteSector);
  if (geometry != kNoGeometry) {
    if (const auto place = ClusterOf(geometry, absoluteSector)) {
      const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
      const auto [folder, used] = ResolveFolder(sector, place->first, geometry, absoluteSector,
                                                place->second == absoluteSector);
      context_ =
          Context{geometry, folder, place->second,
                  place->first == kRoot ? g.DataSector() : place->second + g.sectorsPerCluster};
      if (used == kNoGeometry) context_.reset();
      ParseAndKeep(sector, folder, used, absoluteSector);
      return;
    }
  }
  DirEntry first;
  if (ParseDirEntry(sector.first(std::min(sector.size(), kDirEntryBytes)), first) &&
      first.IsVolumeLabel()) {
    // A root whose volume is not known yet: its files wait for a geometry.
    context_.reset();
    ParseAndKeep(sector, kRoot, kNoGeometry, absoluteSector);
    return;
  }
  Hold(sector, absoluteSector);
}

void CProfessionalFatRecovery::Hold(std::span<const std::uint8_t> sector,
                                    std::uint64_t absoluteSector) {
  if (heldBytes_ + sector.size() > kMaxHeldBytes) {
    ++droppedSectors_;
    return;
  }
  auto [it, added] = held_.try_emplace(absoluteSector, sector.begin(), sector.end());
  if (added) heldBytes_ += sector.size();
}

void CProfessionalFatRecovery::FillGeometry(FoundFile& record, int geometry) const {
  if (geometry < 0) return;
  const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
  record.clusterBytes = g.sectorsPerCluster * bytesPerSector_;
  record.dataAreaSector = g.dataStart;
  record.volumeStartSector = g.volumeStart;
}

void CProfessionalFatRecovery::TakeFolder(const DirEntry& entry, const std::string& name,
                                          std::uint32_t folder, int geometry,
                                          std::uint64_t entrySector) {
  std::uint32_t cluster = entry.FirstCluster();
  if (entry.IsDeleted() && entry.clusterHigh == 0 && geometry >= 0) {
    cluster = SearchHighWord(entry.clusterLow, true, {}, geometry);
  }
  if (cluster < 2 || cluster == folder) return;
  FoundFile record;
  record.isFolder = 1;
  record.isDeleted = entry.IsDeleted() ? 1 : 0;
  record.contentOk = 1;
  record.recordNumber = folder;
  record.startCluster = cluster;
  record.created =
      FatTimeToFileTime(entry.creationDate, entry.creationTime, entry.creationHundredths);
  record.accessed = FatTimeToFileTime(entry.accessDate, 0);
  record.modified = FatTimeToFileTime(entry.writeDate, entry.writeTime);
  record.entrySector = entrySector;
  record.driveLetter = driveLetter_;
  record.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalFat);
  record.SetName(name);
  FillGeometry(record, geometry);
  // Past the bound a folder keeps its place in the tree, named LostFolder<cluster>.
  if (folderMap_.size() >= kMaxFolders && !folderMap_.contains(cluster)) return;
  folderMap_[cluster] = MappedFolder{record, geometry};
}

void CProfessionalFatRecovery::TakeFile(const DirEntry& entry, const std::string& name,
                                        std::uint32_t folder, int geometry,
                                        std::uint64_t entrySector) {
  FoundFile record;
  record.isDeleted = entry.IsDeleted() ? 1 : 0;
  record.contentOk = 1;
  record.recordNumber = folder;
  record.startCluster = entry.FirstCluster();
  if (entry.IsDeleted() && entry.clusterHigh == 0 && geometry >= 0) {
    record.startCluster = SearchHighWord(entry.clusterLow, false, ExtensionOf(name), geometry);
  }
  record.created =
      FatTimeToFileTime(entry.creationDate, entry.creationTime, entry.creationHundredths);
  record.accessed = FatTimeToFileTime(entry.accessDate, 0);
  record.modified = FatTimeToFileTime(entry.writeDate, entry.writeTime);
  record.size = entry.size;
  record.entrySector = entrySector;
  record.driveLetter = driveLetter_;
  record.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalFat);
  record.SetName(name);
  if (geometry >= 0) {
    CompleteFile(record, geometry);
  } else if (pending_.size() < kMaxPendingFiles) {
    pending_.push_back({record, false});
  }
}

void CProfessionalFatRecovery::CompleteFile(FoundFile record, int geometry) {
  const std::uint32_t folder = record.recordNumber;
  record.recordNumber = 0;
  FillGeometry(record, geometry);
  record.contentOk = ContentOk(record, geometry);
  const std::uint32_t number = log_->AppendRecord(record);
  log_->AddChild(KeyOf(folder), Depth(geometry, folder), number);
  MarkFoldersToRecord(folder, geometry, record.entrySector);
}

void CProfessionalFatRecovery::MarkFoldersToRecord(std::uint32_t folder, int geometry,
                                                   std::uint64_t sector) {
  std::unordered_set<std::uint32_t> visited;
  std::uint32_t current = folder;
  for (std::uint32_t climbed = 0; climbed < kMaxClimb; ++climbed) {
    if (current < 2 || IsRootCluster(geometry, current) || !visited.insert(current).second) return;
    // A folder entered before had its parents entered with it.
    if (foldersToRecord_.size() >= kMaxFolders ||
        !foldersToRecord_.try_emplace(current, FolderToRecord{geometry, sector}).second) {
      return;
    }
    std::uint32_t parent;
    if (const auto known = folderMap_.find(current); known != folderMap_.end()) {
      parent = known->second.record.recordNumber;
      if (known->second.geometry >= 0) geometry = known->second.geometry;
      sector = known->second.record.entrySector;
    } else {
      parent = ParentOf(geometry, current);
      if (const auto first = ClusterSector(geometry, current)) sector = *first;
    }
    if (parent == current) return;
    current = parent;
  }
}

void CProfessionalFatRecovery::ResolvePending(bool nearest) {
  for (Pending& file : pending_) {
    if (file.done) continue;
    const std::uint32_t folder = file.record.recordNumber;
    int found = kNoGeometry;
    if (nearest) {
      found = NearestGeometry(file.record.entrySector);
    } else {
      for (std::size_t i = 0; i < geometries_.size() && found == kNoGeometry; ++i) {
        if (Contains(static_cast<int>(i), folder, file.record.entrySector)) {
          found = static_cast<int>(i);
        }
      }
    }
    if (found == kNoGeometry) continue;
    CompleteFile(file.record, found);
    file.done = true;
  }
  std::erase_if(pending_, [](const Pending& file) { return file.done; });
}

void CProfessionalFatRecovery::RecordFolders() {
  for (const auto& [cluster, entry] : foldersToRecord_) {
    if (const auto known = folderMap_.find(cluster); known != folderMap_.end()) {
      FoundFile folder = known->second.record;
      int geometry = known->second.geometry >= 0 ? known->second.geometry : entry.geometry;
      if (geometry < 0) geometry = NearestGeometry(folder.entrySector);
      if (geometry < 0) continue;
      const std::uint32_t parent = folder.recordNumber;
      folder.recordNumber = 0;
      FillGeometry(folder, geometry);
      const std::uint32_t number = log_->AppendRecord(folder);
      log_->AddChild(KeyOf(parent), Depth(geometry, parent), number, cluster, folder.Name());
      continue;
    }
    int geometry = entry.geometry;
    if (geometry < 0) geometry = NearestGeometry(entry.sector);
    if (geometry < 0) continue;
    FoundFile folder;
    folder.isFolder = 1;
    folder.contentOk = 1;
    folder.startCluster = cluster;
    folder.driveLetter = driveLetter_;
    folder.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalFat);
    folder.entrySector = entry.sector;
    folder.SetName("LostFolder" + std::to_string(cluster));
    FillGeometry(folder, geometry);
    const std::uint32_t parent = ParentOf(geometry, cluster);
    const std::uint32_t number = log_->AppendRecord(folder);
    log_->AddChild(KeyOf(parent), Depth(geometry, parent), number, cluster, folder.Name());
  }
}

ResultCode CProfessionalFatRecovery::FinishFatScan() {
  if (!log_) return result::kSuccess;
  // Sectors that could not be placed while walking: the geometries known now place them.
  std::map<std::uint64_t, std::vector<std::uint8_t>> held = std::move(held_);
  held_.clear();
  heldBytes_ = 0;
  context_.reset();
  for (const auto& [sector, bytes] : held) {
    if (JoinFragment(bytes, sector)) continue;
    if (context_ && sector > context_->first && sector < context_->end) {
      ParseAndKeep(bytes, context_->folder, context_->geometry, sector);
      continue;
    }
    const int geometry = NearestGeometry(sector);
    const auto place = ClusterOf(geometry, sector);
    if (!place) {
      ++droppedSectors_;
      continue;
    }
    const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
    const auto [folder, used] =
        ResolveFolder(bytes, place->first, geometry, sector, place->second == sector);
    context_ =
        Context{used, folder, place->second,
                place->first == kRoot ? g.DataSector() : place->second + g.sectorsPerCluster};
    ParseAndKeep(bytes, folder, used >= 0 ? used : geometry, sector);
  }
  ResolvePending(false);
  ResolvePending(true);
  pending_.clear();
  RecordFolders();
  folderMap_.clear();
  foldersToRecord_.clear();
  fragments_.clear();
  openFolders_.clear();
  context_.reset();
  return log_->Flush();
}

}  // namespace keldrive
