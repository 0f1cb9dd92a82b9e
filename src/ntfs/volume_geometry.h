#pragma once

#include <cstdint>

#include "ntfs/boot_sector.h"

namespace keldrive {

// Every record read is one read of this many bytes at the record's sector, whatever the
// record size: it holds one record on any usual sector size.
inline constexpr std::uint32_t kRecordReadBytes = 8192;
// One scan buffer holds this many records.
inline constexpr std::uint32_t kRecordsPerChunk = 1024;

// What an engine keeps of a volume after opening it. Sector numbers are absolute on the
// medium, in sectors of `bytesPerSector` bytes.
struct NtfsGeometry {
  std::uint64_t partitionStart = 0;  // 0 for an image file
  std::uint64_t sectorCount = 0;
  char16_t driveLetter = 0;  // 0 when none
  std::uint32_t bytesPerSector = 512;
  std::uint8_t sectorsPerCluster = 0;
  std::uint64_t mftStartSector = 0;
  std::uint32_t sectorsPerRecord = 2;
  std::uint32_t recordSize = 1024;
  std::uint32_t chunkSize = 1024 * 1024;  // record size × 1024

  std::uint64_t ClusterBytes() const { return std::uint64_t{bytesPerSector} * sectorsPerCluster; }
};

// Fills the geometry of a volume from its boot sector. The record size follows from the
// sector size alone (the boot sector's clusters-per-record field is not read): 1024 bytes
// in two sectors on 512-byte sectors, one sector on 1024-, 2048- and 4096-byte sectors. Any
// other sector size is laid out as 512 would be, so that a record never outgrows the
// buffer of one record read. False when the MFT's sector number does not fit in 64 bits.
bool MakeNtfsGeometry(const NtfsBootSector& boot, std::uint64_t partitionStart,
                      std::uint64_t sectorCount, char16_t driveLetter, NtfsGeometry& out);

// Sectors in one record read: 8192 bytes' worth, at least one.
std::uint32_t RecordReadSectors(const NtfsGeometry& geometry);

// The absolute sector of a cluster number; false for a negative cluster or one whose sector
// number does not fit in 64 bits.
bool ClusterToSector(const NtfsGeometry& geometry, std::int64_t cluster, std::uint64_t& sector);

}  // namespace keldrive
