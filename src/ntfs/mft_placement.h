#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "ntfs/data_run.h"

namespace keldrive {

// Where an MFT lies: the volume its clusters count from, the sectors in one of its
// clusters, and its runs. A run of count 0 stands for an MFT that goes on contiguously
// from its cluster, as far as anyone asks.
struct MftLayout {
  std::uint64_t volumeStart = 0;
  std::uint32_t sectorsPerCluster = 1;
  std::vector<DataRun> runs;
};

// An MFT met on the medium, under the sector of its record 0: its runs, counted in
// clusters of `sectorsPerCluster` sectors.
struct MftTableEntry {
  std::vector<DataRun> runs;
  std::uint32_t sectorsPerCluster = 1;
};
using MftRunTable = std::map<std::uint64_t, MftTableEntry>;

// The sector of record `number` along `mft`; nothing when no run holds it or a sum
// leaves 64 bits.
std::optional<std::uint64_t> MapRecordSector(const MftLayout& mft, std::uint64_t number,
                                             std::uint32_t sectorsPerRecord);

// The number of the record at `sector` along `mft`: the inverse of MapRecordSector, for
// records whose header does not say.
std::optional<std::uint64_t> RecordNumberAt(const MftLayout& mft, std::uint64_t sector,
                                            std::uint32_t sectorsPerRecord);

// The MFT of the table entry with key `key`: its volume starts where its first run's
// cluster count puts cluster 0 before the key. Nothing when that lies before sector 0.
std::optional<MftLayout> LayoutOfEntry(std::uint64_t key, const MftTableEntry& entry);

// The MFT of record `number` found at `sector`: the first MFT of the table, in key order,
// that puts that record at that sector; else one in the volume at `partitionStart`
// assumed to run contiguously from where the record's number says it begins. That one
// counts in single sectors, so no remainder of a division is lost; it has no runs when
// the record lies too near the start for its number.
MftLayout PlaceRecord(const MftRunTable& table, std::uint64_t number, std::uint64_t sector,
                      std::uint32_t sectorsPerRecord, std::uint64_t partitionStart);

}  // namespace keldrive
