// Where the volumes lie that the walk meets: FAT geometries from boot sectors, partition
// tables and pairs of "." entries, and the lookups that place a sector in one of them.
#include <algorithm>

#include "disk/byte_reader.h"
#include "disk/file_system_detection.h"
#include "fat/fat_geometry.h"
#include "fat/professional_fat_recovery.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kBootRegionBytes = 4096;
constexpr std::uint32_t kDerivedRootSectors = 32;

bool IsPowerOfTwoClusterSize(std::uint64_t spc) {
  return spc >= 1 && spc <= 128 && (spc & (spc - 1)) == 0;
}

// The data area a boot sector describes, for a volume starting at `volumeStart`.
CProfessionalFatRecovery::Geometry GeometryOfBootSector(const FatGeometry& fat,
                                                        std::uint64_t volumeStart) {
  CProfessionalFatRecovery::Geometry g;
  g.sectorsPerCluster = fat.sectorsPerCluster;
  g.dataStart = fat.dataAreaSector;
  g.volumeStart = volumeStart;
  g.rootCluster = fat.IsFat32() ? fat.rootCluster : 0;
  g.rootSectors = fat.rootDirSectors;
  g.end = volumeStart + fat.totalSectors;
  g.fromBoot = true;
  return g;
}

}  // namespace

ResultCode CProfessionalFatRecovery::SeedFatGeometry() {
  if (!ready_) return NotReady();
  const std::uint32_t sectors = std::max<std::uint32_t>(1, kBootRegionBytes / bytesPerSector_);
  std::vector<std::uint8_t> boot(static_cast<std::size_t>(sectors) * bytesPerSector_);
  std::int32_t got = 0;
  const ResultCode rc = ReadSectors(device_, boot, volumeStart_, static_cast<std::int32_t>(sectors),
                                    static_cast<std::int32_t>(bytesPerSector_), got);
  if (got <= 0) return rc != result::kSuccess ? rc : result::kReadFault;
  FatGeometry fat;
  if (!IsFatBootSector(boot) || !ParseFatGeometry(boot, fat) ||
      fat.bytesPerSector != bytesPerSector_) {
    SeedFromPartitionTable(std::span(boot).first(bytesPerSector_));
    return result::kSuccess;
  }
  const Geometry g = GeometryOfBootSector(fat, volumeStart_);
  geometries_.push_back(g);
  std::rotate(geometries_.begin(), geometries_.end() - 1, geometries_.end());  // first
  rootCluster_ = g.rootCluster;
  return result::kSuccess;
}

void CProfessionalFatRecovery::OnFatBootSector(std::span<const std::uint8_t> sector,
                                               std::uint64_t absoluteSector) {
  if (!ready_ || absoluteSector == volumeStart_) return;
  if (TakeBootSector(sector, absoluteSector)) ResolvePending(false);
}

bool CProfessionalFatRecovery::TakeBootSector(std::span<const std::uint8_t> sector,
                                              std::uint64_t absoluteSector) {
  FatGeometry fat;
  if (!IsFatBootSector(sector) || !ParseFatGeometry(sector, fat) ||
      fat.bytesPerSector != bytesPerSector_) {
    return false;
  }
  const Geometry g = GeometryOfBootSector(fat, absoluteSector);
  // A boot sector is believed only when its root folder lies where it says: a backup copy,
  // or a stale one, would put every cluster a few sectors off.
  const std::uint64_t rootSector =
      g.rootCluster == 0
          ? g.DataSector() - std::min<std::uint64_t>(g.rootSectors, g.dataStart)
          : g.DataSector() +
                static_cast<std::uint64_t>(g.rootCluster >= 2 ? g.rootCluster - 2 : 0) *
                    g.sectorsPerCluster;
  std::vector<std::uint8_t> root;
  if (!ReadSector(rootSector, root) || root[0] == 0 || !IsFatDirectorySector(root)) return false;
  return AddGeometry(g) != kNoGeometry;
}

void CProfessionalFatRecovery::SeedFromPartitionTable(std::span<const std::uint8_t> first) {
  // The volumes of a whole disk, from its MBR or GPT: each FAT one gives its geometry.
  ByteReader r(first);
  if (first.size() < 512 || r.u8At(510) != 0x55 || r.u8At(511) != 0xAA) return;
  std::vector<std::uint64_t> starts;
  std::vector<std::uint8_t> sector;
  if (r.u8At(0x1C2) == 0xEE) {
    std::vector<std::uint8_t> header;
    if (!ReadSector(volumeStart_ + 1, header) ||
        std::string_view(reinterpret_cast<const char*>(header.data()), 8) != "EFI PART") {
      return;
    }
    ByteReader h(header);
    const std::uint64_t table = h.le64At(72);
    const std::uint32_t count = std::min<std::uint32_t>(h.le32At(80), 128);
    const std::uint32_t entryBytes = h.le32At(84);
    if (entryBytes < 128 || entryBytes > bytesPerSector_ || bytesPerSector_ % entryBytes != 0) {
      return;
    }
    const std::uint32_t perSector = bytesPerSector_ / entryBytes;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (i % perSector == 0 && !ReadSector(volumeStart_ + table + i / perSector, sector)) break;
      ByteReader e(std::span<const std::uint8_t>(sector).subspan((i % perSector) * entryBytes));
      if (const std::uint64_t lba = e.le64At(32); lba != 0) starts.push_back(lba);
    }
  } else {
    for (std::size_t i = 0; i < 4; ++i) {
      if (const std::uint32_t lba = r.le32At(0x1BE + i * 16 + 8); lba != 0) starts.push_back(lba);
    }
  }
  for (const std::uint64_t start : starts) {
    if (ReadSector(volumeStart_ + start, sector)) TakeBootSector(sector, volumeStart_ + start);
  }
}

int CProfessionalFatRecovery::AddGeometry(const Geometry& geometry) {
  for (std::size_t i = 0; i < geometries_.size(); ++i) {
    if (geometries_[i].sectorsPerCluster == geometry.sectorsPerCluster &&
        geometries_[i].DataSector() == geometry.DataSector()) {
      return static_cast<int>(i);
    }
  }
  if (geometries_.size() >= kMaxGeometries) return kNoGeometry;
  geometries_.push_back(geometry);
  return static_cast<int>(geometries_.size() - 1);
}

std::optional<CProfessionalFatRecovery::Geometry> CProfessionalFatRecovery::Derive(
    const Observation& a, const Observation& b) const {
  if (a.cluster == b.cluster) return std::nullopt;
  const Observation& high = a.cluster > b.cluster ? a : b;
  const Observation& low = a.cluster > b.cluster ? b : a;
  // The higher cluster lies further on.
  if (high.sector <= low.sector || low.cluster < 2) return std::nullopt;
  const std::uint64_t sectors = high.sector - low.sector;
  const std::uint64_t clusters = high.cluster - low.cluster;
  if (sectors % clusters != 0 || !IsPowerOfTwoClusterSize(sectors / clusters)) return std::nullopt;
  const std::uint64_t spc = sectors / clusters;
  const std::uint64_t offset = static_cast<std::uint64_t>(low.cluster - 2) * spc;
  if (low.sector < offset || low.sector - offset < volumeStart_) return std::nullopt;
  Geometry g;
  g.sectorsPerCluster = static_cast<std::uint32_t>(spc);
  g.dataStart = low.sector - offset - volumeStart_;
  g.volumeStart = volumeStart_;
  g.rootCluster = 2;
  g.rootSectors = kDerivedRootSectors;
  return g;
}

std::optional<std::uint64_t> CProfessionalFatRecovery::ClusterSector(int geometry,
                                                                     std::uint32_t cluster) const {
  if (geometry < 0 || static_cast<std::size_t>(geometry) >= geometries_.size()) {
    return std::nullopt;
  }
  const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
  if (cluster == 0) {
    const std::uint64_t rootSectors = g.rootSectors != 0 ? g.rootSectors : kDerivedRootSectors;
    if (g.dataStart < rootSectors) return std::nullopt;
    return g.DataSector() - rootSectors;
  }
  if (cluster < 2) return std::nullopt;
  return g.DataSector() + static_cast<std::uint64_t>(cluster - 2) * g.sectorsPerCluster;
}

int CProfessionalFatRecovery::ExactGeometry(std::uint32_t cluster, std::uint64_t sector) const {
  if (cluster < 2) return kNoGeometry;
  for (std::size_t i = 0; i < geometries_.size(); ++i) {
    if (ClusterSector(static_cast<int>(i), cluster) == sector) return static_cast<int>(i);
  }
  return kNoGeometry;
}

bool CProfessionalFatRecovery::RootAt(int geometry, std::uint64_t sector) const {
  if (geometry < 0) return false;
  const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
  if (g.rootCluster == 0) {
    const auto first = ClusterSector(geometry, 0);
    return first && sector >= *first && sector < g.DataSector();
  }
  const auto first = ClusterSector(geometry, g.rootCluster);
  return first && sector >= *first && sector < *first + g.sectorsPerCluster;
}

bool CProfessionalFatRecovery::Contains(int geometry, std::uint32_t folder, std::uint64_t sector) {
  if (geometry < 0) return false;
  if (folder == kRoot) return RootAt(geometry, sector);
  const auto first = ClusterSector(geometry, folder);
  if (!first || sector < *first) return false;
  return sector < *first + geometries_[static_cast<std::size_t>(geometry)].sectorsPerCluster;
}

int CProfessionalFatRecovery::NearestGeometry(std::uint64_t sector) const {
  int best = kNoGeometry;
  std::uint64_t bestStart = 0;
  for (std::size_t i = 0; i < geometries_.size(); ++i) {
    const Geometry& g = geometries_[i];
    const std::uint64_t start =
        g.DataSector() -
        std::min<std::uint64_t>(g.rootCluster == 0 ? g.rootSectors : 0, g.dataStart);
    if (start > sector || (g.end != 0 && sector >= g.end)) continue;
    if (best == kNoGeometry || start > bestStart) {
      best = static_cast<int>(i);
      bestStart = start;
    }
  }
  if (best == kNoGeometry && !geometries_.empty()) best = 0;
  return best;
}

int CProfessionalFatRecovery::PlacingGeometry(std::uint64_t sector) const {
  const int g = NearestGeometry(sector);
  if (g == kNoGeometry) return g;
  // The last folder start seen in this data area did not fit the geometry: the area most
  // likely belongs to an older volume whose geometry is not known yet.
  if (lastObservation_ && lastObservation_->second != g &&
      lastObservation_->first >= geometries_[static_cast<std::size_t>(g)].DataSector()) {
    return kNoGeometry;
  }
  return g;
}

std::optional<std::pair<std::uint32_t, std::uint64_t>> CProfessionalFatRecovery::ClusterOf(
    int geometry, std::uint64_t sector) const {
  if (geometry < 0) return std::nullopt;
  const Geometry& g = geometries_[static_cast<std::size_t>(geometry)];
  if (sector < g.DataSector()) {
    if (g.rootCluster == 0 && RootAt(geometry, sector))
      return {{kRoot, *ClusterSector(geometry, 0)}};
    return std::nullopt;
  }
  const std::uint64_t index = (sector - g.DataSector()) / g.sectorsPerCluster;
  if (index > 0x0FFFFFF0) return std::nullopt;
  const auto cluster = static_cast<std::uint32_t>(index + 2);
  return {{cluster, g.DataSector() + index * g.sectorsPerCluster}};
}

}  // namespace keldrive
