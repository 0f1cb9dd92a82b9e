#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "disk/sector_device.h"
#include "engine/byte_run.h"
#include "engine/file_output.h"
#include "engine/found_file.h"
#include "fat/fat_table.h"

namespace keldrive {

// Reads the data of a found FAT file cluster by cluster, following the chain of `table`
// (or, without a table, the clusters that follow one another on the medium; a deleted file
// goes on through the free clusters, past any in use), and hands
// at most `limit` bytes to `sink`. A file of size 0 is reported done at once. A chain that
// ends before the size is reached, or a first cluster below 2 for a file with data, ends
// the copy with 30: what was copied stays, and nothing is made up.
// Without a table, `step` (when given) names the cluster after each one instead of the
// next on the medium.
using ClusterStep = std::function<std::optional<std::uint32_t>(std::uint32_t)>;
ResultCode CopyFatFileData(SectorDevice& device, FatTable* table, std::uint32_t bytesPerSector,
                           const FoundFile& record, std::uint64_t limit, const DataSink& sink,
                           const PieceReport& report, const ClusterStep& step = {});

// The cluster after `cluster` in a file: the table's chain, the next free cluster for a
// deleted file whose chain was cleared, or without a table the next cluster on the medium.
// Nothing where the chain ends.
std::optional<std::uint32_t> NextFileCluster(FatTable* table, std::uint32_t cluster);

// Where CopyFatFileData reads a file's data, in bytes of the medium. kUnknown when the chain
// ends before the file's size or the record's layout is not believable.
ByteRunsAnswer FatByteRuns(FatTable* table, std::uint32_t bytesPerSector, const FoundFile& record,
                           std::vector<ByteRun>& runs, const ClusterStep& step = {});

}  // namespace keldrive
