#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "disk/volume_record.h"
#include "platform/disk_catalog.h"
#include "platform/system_roots.h"

namespace keldrive {

// What can be scanned on the machine: for each disk number, its records ordered by start
// sector. Filled by EnumerateVolumes, read with NextVolume or ListAllVolumes.
struct VolumeTable {
  std::map<int, std::vector<VolumeRecord>> disks;
  std::uint32_t sectorSize = 512;  // the sector size last used
  // Iteration cursor of NextVolume.
  std::size_t cursorDisk = 0;
  std::size_t cursorRecord = 0;
};

// Rebuilds the table from the machine's disks. Returns 1 when built and 0 when the
// platform's list of disks could not be read (the table is then empty).
int EnumerateVolumes(VolumeTable& table,
                     const platform::SystemRoots& roots = platform::SystemRoots{});

// The table-building steps over a given list of disks: volume records, sorting, gaps and
// whole-disk records, numbering.
void BuildVolumeTable(VolumeTable& table, const std::vector<platform::PlatformDisk>& disks);

// Copies the record under the cursor and advances; 0 once every disk has been visited.
int NextVolume(VolumeTable& table, VolumeRecord& out);

// Every record of every disk in table order; returns 1.
int ListAllVolumes(const VolumeTable& table, std::vector<VolumeRecord>& out);

// Enumerates afresh, then appends to `missing` every record of `known` for which the fresh
// table has no record with the same disk number and start sector.
void FindMissingVolumes(VolumeTable& table, const std::vector<VolumeRecord>& known,
                        std::vector<VolumeRecord>& missing,
                        const platform::SystemRoots& roots = platform::SystemRoots{});

}  // namespace keldrive
