#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/sector_device.h"
#include "fat/fat_geometry.h"

namespace keldrive {

// The first file allocation table of a volume, read through a window of at most 16 MiB
// that moves when a lookup falls outside it. Only bytes actually read are ever looked at,
// and a stretch of the table that could not be read is not read again for each entry in it.
class FatTable {
 public:
  static constexpr std::size_t kWindowBytes = 16 * 1024 * 1024;

  FatTable() = default;

  // Binds the table to a volume and reads its first window (a failure there is remembered
  // like any other).
  void Attach(SectorDevice* device, std::uint64_t volumeStartSector, const FatGeometry& geometry);

  // The table entry of `cluster`. Errors: 87 for a cluster outside the table, 30 or the
  // read's error when its bytes cannot be read (or could not be the last time they were
  // tried: a failed stretch is remembered, so walks over the table pay for it once).
  ResultCode Entry(std::uint32_t cluster, std::uint32_t& value);

  // The cluster after `cluster` in a chain. A free entry (as after a deletion) continues
  // with the next cluster when that one is free too: a deleted file is taken to lie in
  // consecutive free clusters. Nothing at the end of the chain, at a bad or reserved value,
  // at a cluster outside the volume, or when the entry cannot be read.
  std::optional<std::uint32_t> NextCluster(std::uint32_t cluster);

  // The first free cluster after `cluster`, skipping clusters in use: where a deleted
  // file that met a cluster in use most likely goes on. Nothing when none is left.
  std::optional<std::uint32_t> NextFreeCluster(std::uint32_t cluster);

  // Whether an entry value names a next cluster of a chain (not free, end or bad).
  bool IsNextClusterValue(std::uint32_t value) const;

  const FatGeometry& Geometry() const { return geometry_; }

  // The data clusters, from cluster 2 on, that have at least one sector on the medium:
  // those after them have nothing to read. At most the geometry's cluster count.
  std::uint32_t ClustersOnMedium() const;

  // Sectors of the first table that were taken from another copy: unreadable, or holding
  // entries that name no cluster.
  std::uint64_t SectorsFromCopy() const { return sectorsFromCopy_; }

 private:
  // Volumes have two copies; a boot sector claiming more is not believed past a few.
  static constexpr std::uint32_t kMaxFatCopies = 4;

  // Moves the window to the sector holding `firstByte`. On failure the window stays where
  // it was and the stretch that failed is remembered.
  ResultCode Load(std::uint64_t firstByte);
  void RememberFailure(std::uint64_t from, std::uint64_t to, ResultCode rc);
  bool HoldsImpossibleEntries(std::span<const std::uint8_t> sector,
                              std::uint64_t tableSector) const;
  // Fills `sector` with sector `tableSector` of the first copy that has it readable and
  // believable; false when none does.
  bool ReadFromCopy(std::uint64_t tableSector, std::span<std::uint8_t> sector);

  SectorDevice* device_ = nullptr;
  std::uint64_t volumeStartSector_ = 0;
  FatGeometry geometry_;
  std::uint64_t tableBytes_ = 0;
  // The medium's length counted in the volume's sectors, not the device's.
  std::uint64_t mediumSectors_ = 0;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;  // byte offset in the table of window_[0]
  std::uint64_t sectorsFromCopy_ = 0;
  // Table bytes [failedFrom_, failedTo_) could not be loaded, with failedCode_.
  std::uint64_t failedFrom_ = 0;
  std::uint64_t failedTo_ = 0;
  ResultCode failedCode_ = result::kSuccess;
};

}  // namespace keldrive
