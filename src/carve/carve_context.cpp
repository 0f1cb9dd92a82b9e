#include "carve/carve_context.h"

#include <algorithm>
#include <cstring>
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

std::span<const std::uint8_t> SectorProbe::HeldSectors(std::uint64_t start,
                                                       std::uint64_t count) const {
  if (sectorSize <= 0 || start < window.firstSector) return {};
  const auto sectorBytes = static_cast<std::uint64_t>(sectorSize);
  const std::uint64_t held = window.bytes.size() / sectorBytes;
  const std::uint64_t into = start - window.firstSector;
  if (into > held || count > held - into) return {};
  return window.bytes.subspan(static_cast<std::size_t>(into * sectorBytes),
                              static_cast<std::size_t>(count * sectorBytes));
}

ResultCode SectorProbe::ReadThroughWindow(std::span<std::uint8_t> out, std::uint64_t start,
                                          std::uint64_t count) {
  if (sectorSize <= 0) return result::kInvalidParameter;
  const auto sectorBytes = static_cast<std::uint64_t>(sectorSize);
  const auto end = CheckedAdd64(start, count);
  const auto bytes = CheckedMul64(count, sectorBytes);
  if (!end || !bytes || *bytes > out.size()) return result::kInvalidParameter;
  // The part the window holds, clipped to the request; empty when they do not meet.
  const std::uint64_t windowEnd =
      CheckedAdd64(window.firstSector, window.bytes.size() / sectorBytes)
          .value_or(window.firstSector);
  const std::uint64_t heldFirst = std::clamp(window.firstSector, start, *end);
  const std::uint64_t heldEnd = std::clamp(windowEnd, heldFirst, *end);

  const auto readFromMedium = [&](std::uint64_t first, std::uint64_t last) -> ResultCode {
    if (first == last) return result::kSuccess;
    if (medium == nullptr) return result::kInvalidHandle;
    if (last - first > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      return result::kInvalidParameter;
    }
    std::int32_t got = 0;
    return keldrive::ReadSectors(
        *medium, out.subspan(static_cast<std::size_t>((first - start) * sectorBytes)), first,
        static_cast<std::int32_t>(last - first), sectorSize, got);
  };
  if (heldEnd == heldFirst) return readFromMedium(start, *end);
  if (const ResultCode rc = readFromMedium(start, heldFirst); rc != result::kSuccess) return rc;
  std::memcpy(out.data() + (heldFirst - start) * sectorBytes,
              window.bytes.data() + (heldFirst - window.firstSector) * sectorBytes,
              static_cast<std::size_t>((heldEnd - heldFirst) * sectorBytes));
  return readFromMedium(heldEnd, *end);
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
  if (ReadThroughWindow(out, start, sectors) != result::kSuccess) return 0;
  return static_cast<std::size_t>(sectors) * sectorBytes;
}

std::span<const std::uint8_t> SectorProbe::ReadSectors(std::uint64_t start, std::int32_t count) {
  if (sectorSize <= 0 || count <= 0) return {};
  const auto bytes =
      CheckedMul64(static_cast<std::uint64_t>(count), static_cast<std::uint64_t>(sectorSize));
  if (!bytes || *bytes > std::numeric_limits<std::uint32_t>::max()) return {};
  if (medium != nullptr && medium->IsOpen() && start < medium->totalSectors) {
    const std::uint64_t sectors =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), medium->totalSectors - start);
    if (const auto held = HeldSectors(start, sectors); !held.empty()) return held;
  }
  const auto buffer = Buffer(static_cast<std::size_t>(*bytes));
  const std::size_t got = ReadInto(buffer, start, count);
  return std::span<const std::uint8_t>(buffer).first(got);
}

}  // namespace keldrive
