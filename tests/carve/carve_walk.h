#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "carve/carve_context.h"
#include "carve/file_type_recovery.h"
#include "disk/sector_device.h"

namespace keldrive::testing {

// The combined engine's walk as the carver sees it: the medium read in buffers of
// `bufferBytes`, each handed to the context as the walk's window when `shareWindow` is
// set, every sector offered to the carver, stepping as it asks (a step past the buffer
// carries into the next read). A sector that cannot be read is passed over.
inline ResultCode WalkAndCarve(CFileTypeRecovery& engine, CarveContext& context,
                               SectorDevice& device, std::size_t bufferBytes, bool shareWindow,
                               std::uint64_t& filesFound) {
  constexpr std::int32_t kSector = 512;
  const std::uint64_t total = device.totalSectors;
  std::vector<std::uint8_t> buffer(bufferBytes);
  context.StartScan();
  for (std::uint64_t sector = 0; sector < total;) {
    const auto count =
        static_cast<std::int32_t>(std::min<std::uint64_t>(bufferBytes / kSector, total - sector));
    std::int32_t got = 0;
    ReadSectors(device, buffer, sector, count, kSector, got);
    const auto arrived = static_cast<std::uint64_t>(got);
    if (shareWindow) {
      context.SetWalkWindow(sector, std::span<const std::uint8_t>(buffer).first(arrived * kSector));
    }
    std::uint64_t at = 0;
    while (at < arrived) {
      const CarveCandidate candidate{
          .medium = &device,
          .sectorSize = kSector,
          .sector = std::span<const std::uint8_t>(buffer).subspan(at * kSector, kSector),
          .hitSector = sector + at,
          .sectorsDone = sector + at,
          .totalSectors = total};
      std::uint64_t step = 1;
      if (engine.CarveAt(context, candidate, step, filesFound) == result::kCancelled) {
        context.ClearWalkWindow();
        return result::kCancelled;
      }
      at += step;
    }
    context.ClearWalkWindow();
    sector += std::max(at, arrived < static_cast<std::uint64_t>(count) ? arrived + 1 : arrived);
  }
  return result::kSuccess;
}

}  // namespace keldrive::testing
