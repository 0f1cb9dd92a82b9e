#pragma once

#include <cstdint>
#include <span>

#include "ntfs/data_run.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The absolute sector of MFT record `recordNumber`, found by walking the MFT's own runs
// (the data runs of record 0): record n lies n × sectors-per-record sectors into the MFT.
// A record no run covers, or one whose sector would not fit in 64 bits, maps to the
// partition start sector, where a read fails the "FILE" test.
std::uint64_t RecordNumberToSector(const NtfsGeometry& geometry, std::span<const DataRun> mftRuns,
                                   std::uint64_t recordNumber);

}  // namespace keldrive
