#include "fat/fat_table.h"

#include <algorithm>

#include "disk/checked_math.h"

namespace keldrive {

void FatTable::Attach(SectorDevice* device, std::uint64_t volumeStartSector,
                      const FatGeometry& geometry) {
  device_ = device;
  volumeStartSector_ = volumeStartSector;
  geometry_ = geometry;
  tableBytes_ = static_cast<std::uint64_t>(geometry.sectorsPerFat) * geometry.bytesPerSector;
  // Counted in the volume's sectors: a table read in 4096-byte sectors from a medium sized
  // in 512-byte ones would otherwise seem to go on eight times past its end.
  mediumSectors_ = device != nullptr && geometry.bytesPerSector != 0
                       ? device->TotalBytes() / geometry.bytesPerSector
                       : 0;
  window_.clear();
  windowStart_ = 0;
  sectorsFromCopy_ = 0;
  failedFrom_ = failedTo_ = 0;
  failedCode_ = result::kSuccess;
  Load(0);
}

std::uint32_t FatTable::ClustersOnMedium() const {
  const std::uint64_t dataStart = volumeStartSector_ + geometry_.dataAreaSector;
  if (dataStart >= mediumSectors_ || geometry_.sectorsPerCluster == 0) return 0;
  const std::uint64_t spc = geometry_.sectorsPerCluster;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(
      geometry_.clusterCount, (mediumSectors_ - dataStart + spc - 1) / spc));
}

void FatTable::RememberFailure(std::uint64_t from, std::uint64_t to, ResultCode rc) {
  failedFrom_ = from;
  failedTo_ = to;
  failedCode_ = rc;
}

ResultCode FatTable::Load(std::uint64_t firstByte) {
  if (device_ == nullptr) return result::kInvalidHandle;
  const std::uint32_t bps = geometry_.bytesPerSector;
  const std::uint64_t firstSector = firstByte / bps;
  const std::uint64_t tableSectors = geometry_.sectorsPerFat;
  if (firstSector >= tableSectors) return result::kInvalidParameter;
  // Read what exists: the window, the rest of the table and the rest of the medium bound it.
  const std::uint64_t absolute = volumeStartSector_ + geometry_.FatStartSector() + firstSector;
  if (absolute >= mediumSectors_) {
    // No later part of the table lies on the medium either.
    RememberFailure(firstSector * bps, tableBytes_, result::kReadFault);
    return result::kReadFault;
  }
  const std::uint64_t sectors = std::min<std::uint64_t>(
      {kWindowBytes / bps, tableSectors - firstSector, mediumSectors_ - absolute});
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors * bps));
  std::int32_t got = 0;
  std::vector<std::uint32_t> unreadable;
  const ResultCode rc = ReadSectors(*device_, bytes, absolute, static_cast<std::int32_t>(sectors),
                                    static_cast<std::int32_t>(bps), got, unreadable);
  if (rc != result::kSuccess && rc != result::kReadFault) {
    RememberFailure(firstSector * bps, (firstSector + sectors) * bps, rc);
    return rc;
  }
  // Sectors that cannot be read, or that hold entries no table can hold, are taken from
  // the next copy of the table, sector for sector. The window keeps the sectors up to the
  // first that no copy could give; when that is its first, the run of such sectors is
  // remembered as failed, and the next load starts after it.
  std::uint64_t kept = 0;
  std::uint64_t lostRun = 0;
  for (std::uint64_t i = 0; i < sectors; ++i) {
    const auto sector = std::span(bytes).subspan(static_cast<std::size_t>(i * bps), bps);
    const bool lost = std::find(unreadable.begin(), unreadable.end(), i) != unreadable.end();
    bool given = true;
    if (lost) {
      given = ReadFromCopy(firstSector + i, sector);
    } else if (HoldsImpossibleEntries(sector, firstSector + i)) {
      ReadFromCopy(firstSector + i, sector);  // kept as read when no copy is better
    }
    if (given && kept == i) {
      ++kept;
    } else if (!given && kept == 0 && lostRun == i) {
      ++lostRun;
    } else {
      break;
    }
  }
  if (kept == 0) {
    RememberFailure(firstSector * bps, (firstSector + lostRun) * bps, result::kReadFault);
    return result::kReadFault;
  }
  bytes.resize(static_cast<std::size_t>(kept * bps));
  window_ = std::move(bytes);
  windowStart_ = firstSector * bps;
  return result::kSuccess;
}

bool FatTable::HoldsImpossibleEntries(std::span<const std::uint8_t> sector,
                                      std::uint64_t tableSector) const {
  // FAT12 entries straddle sectors; only 16- and 32-bit ones are judged.
  if (geometry_.kind == FatKind::kFat12) return false;
  const std::size_t width = geometry_.IsFat32() ? 4 : 2;
  const std::uint64_t firstEntry = tableSector * geometry_.bytesPerSector / width;
  // Values above the last cluster and below the reserved ones (bad, end) name no cluster.
  const std::uint32_t reservedFrom = geometry_.IsFat32() ? 0x0FFFFFF0 : 0xFFF0;
  for (std::size_t at = 0; at + width <= sector.size(); at += width) {
    const std::uint64_t entry = firstEntry + at / width;
    if (entry < 2 || entry > geometry_.LastCluster()) continue;
    std::uint32_t value = sector[at] | static_cast<std::uint32_t>(sector[at + 1]) << 8;
    if (width == 4) {
      value |= static_cast<std::uint32_t>(sector[at + 2]) << 16 |
               static_cast<std::uint32_t>(sector[at + 3] & 0x0F) << 24;
    }
    if (value > geometry_.LastCluster() && value < reservedFrom) return true;
  }
  return false;
}

bool FatTable::ReadFromCopy(std::uint64_t tableSector, std::span<std::uint8_t> sector) {
  const std::uint32_t bps = geometry_.bytesPerSector;
  std::vector<std::uint8_t> copy(bps);
  for (std::uint32_t n = 1; n < geometry_.fatCount && n < kMaxFatCopies; ++n) {
    const auto offset = CheckedMul64(geometry_.sectorsPerFat, n);
    if (!offset) return false;
    const std::uint64_t absolute =
        volumeStartSector_ + geometry_.FatStartSector() + *offset + tableSector;
    std::int32_t got = 0;
    if (absolute >= mediumSectors_ ||
        ReadSectors(*device_, copy, absolute, 1, static_cast<std::int32_t>(bps), got) !=
            result::kSuccess ||
        HoldsImpossibleEntries(copy, tableSector)) {
      continue;
    }
    std::copy(copy.begin(), copy.end(), sector.begin());
    ++sectorsFromCopy_;
    return true;
  }
  return false;
}

ResultCode FatTable::Entry(std::uint32_t cluster, std::uint32_t& value) {
  if (cluster > geometry_.LastCluster()) return result::kInvalidParameter;
  std::uint64_t offset;
  std::size_t width;
  switch (geometry_.kind) {
    case FatKind::kFat12:
      offset = static_cast<std::uint64_t>(cluster) * 3 / 2;
      width = 2;
      break;
    case FatKind::kFat16:
      offset = static_cast<std::uint64_t>(cluster) * 2;
      width = 2;
      break;
    case FatKind::kFat32:
    default:
      offset = static_cast<std::uint64_t>(cluster) * 4;
      width = 4;
      break;
  }
  if (offset + width > tableBytes_) return result::kInvalidParameter;
  if (offset < windowStart_ || offset + width > windowStart_ + window_.size()) {
    if (offset < failedTo_ && offset + width > failedFrom_) return failedCode_;
    if (const ResultCode rc = Load(offset); rc != result::kSuccess) return rc;
    if (const std::uint64_t end = windowStart_ + window_.size(); offset + width > end) {
      // A FAT12 entry whose second byte lies in the sector the load could not give.
      RememberFailure(end, offset + width, result::kReadFault);
      return result::kReadFault;
    }
  }
  const std::uint8_t* p = window_.data() + (offset - windowStart_);
  switch (geometry_.kind) {
    case FatKind::kFat12: {
      const std::uint32_t pair = p[0] | static_cast<std::uint32_t>(p[1]) << 8;
      value = (cluster & 1) != 0 ? pair >> 4 : pair & 0x0FFF;
      break;
    }
    case FatKind::kFat16:
      value = p[0] | static_cast<std::uint32_t>(p[1]) << 8;
      break;
    case FatKind::kFat32:
    default:
      value = (p[0] | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24) &
              0x0FFFFFFF;
      break;
  }
  return result::kSuccess;
}

bool FatTable::IsNextClusterValue(std::uint32_t value) const {
  return value >= 2 && value <= geometry_.LastCluster();
}

std::optional<std::uint32_t> FatTable::NextCluster(std::uint32_t cluster) {
  std::uint32_t entry = 0;
  if (Entry(cluster, entry) != result::kSuccess) return std::nullopt;
  if (entry != 0) {
    if (!IsNextClusterValue(entry) || entry == cluster) return std::nullopt;
    return entry;
  }
  std::uint32_t following = 0;
  if (cluster >= geometry_.LastCluster() || Entry(cluster + 1, following) != result::kSuccess ||
      following != 0) {
    return std::nullopt;
  }
  return cluster + 1;
}

}  // namespace keldrive

namespace keldrive {

std::optional<std::uint32_t> FatTable::NextFreeCluster(std::uint32_t cluster) {
  for (std::uint32_t next = cluster + 1; next >= 2 && next <= geometry_.LastCluster(); ++next) {
    std::uint32_t entry = 0;
    if (Entry(next, entry) != result::kSuccess) return std::nullopt;
    if (entry == 0) return next;
  }
  return std::nullopt;
}

}  // namespace keldrive
