#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "disk/sector_device.h"
#include "ntfs/file_record.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// One record read: 8192 bytes (at least one sector) at `sector`, into `block`, sized here.
// Returns 0 or the read's error.
ResultCode ReadRecordBlock(SectorDevice& device, const NtfsGeometry& geometry, std::uint64_t sector,
                           std::vector<std::uint8_t>& block);

// Reads the file record at `sector`, decodes its header and applies its update sequence.
// Returns 0, the read's error, or -1 when the sector does not hold a file record.
ResultCode ReadFileRecord(SectorDevice& device, const NtfsGeometry& geometry, std::uint64_t sector,
                          std::vector<std::uint8_t>& block, FileRecordHeader& header);

// Copies the resident value of the record's first data attribute into `value`: the bytes
// from its value offset to the attribute's end, alignment padding included (callers take
// the file's size from it). Returns 0; -101 when the sector is not a file record, the data
// attribute is non-resident or there is none; 87 when the value does not lie inside its
// attribute or is not shorter than a record; or the read's error. With `stream`, the data
// attribute of that name (UTF-8) is read instead.
ResultCode ReadResidentData(SectorDevice& device, const NtfsGeometry& geometry,
                            std::uint64_t recordSector, std::vector<std::uint8_t>& value,
                            std::string_view stream = {});

}  // namespace keldrive
