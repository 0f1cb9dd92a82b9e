#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/sector_device.h"
#include "ntfs/parse_status.h"

namespace keldrive {

// The boot sector is one 512-byte sector; it is read as the first 4096 bytes of the
// volume, which covers it whatever the sector size.
inline constexpr std::size_t kNtfsBootSectorBytes = 512;
inline constexpr std::uint32_t kNtfsBootReadBytes = 4096;

// The boot-sector fields the engines use.
struct NtfsBootSector {
  std::uint32_t bytesPerSector = 512;  // 0x0B, 16 bits; 0 on disk means 512
  std::uint8_t sectorsPerCluster = 0;  // 0x0D
  std::uint64_t mftCluster = 0;        // 0x30: first cluster of the MFT
  std::uint64_t totalSectors = 0;      // 0x28: sectors of the volume, less its backup boot sector
  std::uint64_t mftMirrorCluster = 0;  // 0x38: first cluster of $MFTMirr, a copy of records 0-3
};

// Decodes an NTFS boot sector: kNotThisStructure without the "NTFS    " system name at 3,
// kDamaged when fewer than 512 bytes are given or sectors per cluster is 0.
ParseStatus ParseNtfsBootSector(std::span<const std::uint8_t> bytes, NtfsBootSector& out);

// Reads and decodes the boot sector of the volume that starts at `partitionStart`, counted
// in the device's own sectors of `deviceSectorBytes` (512 for an image file). Returns 0,
// the read's error, or 87 when the sector is not a usable NTFS boot sector.
ResultCode ReadNtfsBootSector(SectorDevice& device, std::uint64_t partitionStart,
                              std::uint32_t deviceSectorBytes, NtfsBootSector& out);

}  // namespace keldrive
