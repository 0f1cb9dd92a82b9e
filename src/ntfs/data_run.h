#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ntfs/attribute.h"
#include "ntfs/parse_status.h"

namespace keldrive {

// One run of a run list as the engines keep it. The delta is relative to the previous
// run's first cluster, the first run's to cluster 0, so every user sums the deltas itself
// from 0. A sparse run (no offset field) has delta 0 and the sparse flag: it holds no
// clusters on the medium, and its part of the file reads as zeros. For the sums it sits at the
// preceding run's clusters.
struct DataRun {
  std::uint32_t clusterCount = 0;
  std::uint32_t flags = 0;  // kRunSparse
  std::int64_t clusterDelta = 0;
};
static_assert(sizeof(DataRun) == 16);

inline constexpr std::uint32_t kRunSparse = 1;

// Adds a run's delta to a running cluster number; false when the sum leaves 64 bits.
[[nodiscard]] bool AddClusterDelta(std::int64_t& cluster, std::int64_t delta);

// Appends the runs of an encoded run list. Each run is a header byte (length-field size in
// the low nibble, offset-field size in the high one) and the two little-endian fields;
// the offset is signed. Ends with kOk at a header byte of 0 or at the end of the bytes,
// and with kDamaged, keeping the runs decoded so far, when a field size is above 7 or a
// run's fields do not fit in the bytes. Only the low 32 bits of a cluster count are kept.
ParseStatus DecodeRunList(std::span<const std::uint8_t> runList, std::vector<DataRun>& runs);

// Appends the runs of a non-resident attribute, whose run list runs from its run-list
// offset to the attribute's end, however long. kNotThisStructure (no runs) for a resident
// attribute, whose bytes at that offset belong to its value.
ParseStatus DecodeDataRuns(const Attribute& attribute, std::vector<DataRun>& runs);

// Appends the runs of a later extent of the same attribute to `runs`, whose deltas sum to
// `summed` (kept up to date). The extent's own deltas start again from cluster 0, so its
// first placed run is rebased onto `summed`; false, appending nothing, when a sum leaves
// 64 bits.
[[nodiscard]] bool AppendExtentRuns(std::vector<DataRun>& runs, std::int64_t& summed,
                                    std::span<const DataRun> extent);

}  // namespace keldrive
