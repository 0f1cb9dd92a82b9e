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
  window_.clear();
  windowStart_ = 0;
  Load(0);
}

ResultCode FatTable::Load(std::uint64_t firstByte) {
  window_.clear();
  if (device_ == nullptr) return result::kInvalidHandle;
  const std::uint32_t bps = geometry_.bytesPerSector;
  const std::uint64_t firstSector = firstByte / bps;
  const std::uint64_t tableSectors = geometry_.sectorsPerFat;
  if (firstSector >= tableSectors) return result::kInvalidParameter;
  // Read what exists: the window, the rest of the table and the rest of the medium bound it.
  const std::uint64_t absolute = volumeStartSector_ + geometry_.FatStartSector() + firstSector;
  if (absolute >= device_->totalSectors) return result::kReadFault;
  const std::uint64_t sectors = std::min<std::uint64_t>(
      {kWindowBytes / bps, tableSectors - firstSector, device_->totalSectors - absolute});
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors * bps));
  std::int32_t got = 0;
  const ResultCode rc = ReadSectors(*device_, bytes, absolute, static_cast<std::int32_t>(sectors),
                                    static_cast<std::int32_t>(bps), got);
  if (got <= 0) return rc != result::kSuccess ? rc : result::kReadFault;
  bytes.resize(static_cast<std::size_t>(got) * bps);  // keep only what arrived
  window_ = std::move(bytes);
  windowStart_ = firstSector * bps;
  return result::kSuccess;
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
    if (const ResultCode rc = Load(offset); rc != result::kSuccess) return rc;
    if (offset + width > windowStart_ + window_.size()) return result::kReadFault;
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
