#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disk/sector_device.h"
#include "ntfs/data_run.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The volume's allocation bitmap ($Bitmap, MFT record 6): bit k of byte i stands for
// cluster 8i + k, set when it is in use. A deep scan walks only the clear ones.
class NtfsClusterBitmap {
 public:
  // Reads the bitmap, never more of it than the volume has clusters for. Returns 0, 87
  // when record 6 has no non-resident data attribute, or a read's error.
  ResultCode Load(SectorDevice& device, const NtfsGeometry& geometry,
                  std::span<const DataRun> mftRuns);

  bool Empty() const { return bits_.empty(); }

  // From `sector` (relative to the volume start) on, the next run of free clusters, in
  // sectors; `sector` keeps its offset inside its first cluster. A sector beyond the volume
  // gives the volume's sector count and length 0; a cluster beyond the bitmap length 0.
  void NextFreeExtent(const NtfsGeometry& geometry, std::uint64_t& sector,
                      std::uint64_t& length) const;

 private:
  bool IsUsed(std::uint64_t cluster) const {
    return (bits_[static_cast<std::size_t>(cluster / 8)] >> (cluster % 8) & 1) != 0;
  }

  std::vector<std::uint8_t> bits_;
};

}  // namespace keldrive
