#include "carve/carve_context.h"

#include <algorithm>
#include <limits>
#include <new>

#include "disk/checked_math.h"

namespace keldrive {

CarveContext::CarveContext() : readBuffer_(kTrailerLeadBytes + kCarveChunkBytes) {}

void CarveContext::StartScan() {
  probe.previousWasTs = false;
  probe.previousWasMts = false;
  probe.tsRanges.clear();
  stopValue = result::kSuccess;
}

std::span<std::uint8_t> SectorProbe::Buffer(std::size_t bytes) {
  if (buffer_.size() < bytes) {
    try {
      buffer_.resize(bytes);
    } catch (const std::bad_alloc&) {
      return {};
    }
  }
  return std::span<std::uint8_t>(buffer_).first(bytes);
}

std::size_t SectorProbe::ReadInto(std::span<std::uint8_t> out, std::uint64_t start,
                                  std::int32_t count) {
  if (medium == nullptr || !medium->IsOpen() || sectorSize <= 0 || count <= 0) return 0;
  if (start >= medium->totalSectors) return 0;
  const std::uint64_t available = medium->totalSectors - start;
  const auto sectorBytes = static_cast<std::size_t>(sectorSize);
  std::uint64_t sectors = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), available);
  sectors = std::min<std::uint64_t>(sectors, out.size() / sectorBytes);
  if (sectors == 0) return 0;
  std::int32_t got = 0;
  if (keldrive::ReadSectors(*medium, out, start, static_cast<std::int32_t>(sectors), sectorSize,
                            got) != result::kSuccess) {
    return 0;
  }
  return static_cast<std::size_t>(got) * sectorBytes;
}

std::span<const std::uint8_t> SectorProbe::ReadSectors(std::uint64_t start, std::int32_t count) {
  if (sectorSize <= 0 || count <= 0) return {};
  const auto bytes =
      CheckedMul64(static_cast<std::uint64_t>(count), static_cast<std::uint64_t>(sectorSize));
  if (!bytes || *bytes > std::numeric_limits<std::uint32_t>::max()) return {};
  const auto buffer = Buffer(static_cast<std::size_t>(*bytes));
  const std::size_t got = ReadInto(buffer, start, count);
  return std::span<const std::uint8_t>(buffer).first(got);
}

}  // namespace keldrive
