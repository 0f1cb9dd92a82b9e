#pragma once

#include <cstdint>

#include "disk/sector_device.h"
#include "engine/file_time.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The times of a file record's standard information attribute: the ones Windows shows and
// keeps up to date on every write, where those of a file name attribute change only when
// the file is renamed or moved. Returns 0; -101 when the record has no such attribute or is
// not a file record; 87 for a value too short; or the read's error.
ResultCode ReadStandardTimes(SectorDevice& device, const NtfsGeometry& geometry,
                             std::uint64_t recordSector, FileTimes& out);

}  // namespace keldrive
