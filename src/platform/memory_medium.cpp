#include "platform/memory_medium.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace keldrive::platform {

MemoryMedium::MemoryMedium(std::vector<std::uint8_t> bytes, std::string name)
    : bytes_(std::move(bytes)), name_(std::move(name)) {}

ResultCode MemoryMedium::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                std::size_t& got) {
  got = 0;
  readRequests_.push_back(out.size());
  if (offset >= bytes_.size() || out.empty()) return result::kSuccess;
  std::uint64_t end = std::min<std::uint64_t>(bytes_.size(), offset + out.size());
  if (maxPieceBytes_ != 0) end = std::min<std::uint64_t>(end, offset + maxPieceBytes_);

  // A bad sector inside the range cuts the read short before it; a read that starts on
  // one fails.
  const auto bad = failingSectors_.lower_bound(offset / failSectorSize_);
  if (bad != failingSectors_.end() && *bad * failSectorSize_ < end) {
    const std::uint64_t badStart = *bad * failSectorSize_;
    if (badStart <= offset) return result::kReadFault;
    end = badStart;
  }
  got = static_cast<std::size_t>(end - offset);
  std::memcpy(out.data(), bytes_.data() + offset, got);
  return result::kSuccess;
}

ResultCode MemoryMedium::QuerySize(std::uint64_t& bytes) {
  if (sizeError_ != result::kSuccess) return sizeError_;
  bytes = bytes_.size();
  return result::kSuccess;
}

ResultCode MemoryMedium::QueryGeometry(DiskGeometry& geometry) {
  if (geometryError_ != result::kSuccess) return geometryError_;
  if (hasGeometry_) {
    geometry = geometry_;
    return result::kSuccess;
  }
  geometry = DiskGeometry{};
  geometry.bytesPerSector = 512;
  geometry.tracksPerCylinder = 255;
  geometry.sectorsPerTrack = 63;
  geometry.cylinders = bytes_.size() / 512 / (255 * 63);
  return result::kSuccess;
}

}  // namespace keldrive::platform
