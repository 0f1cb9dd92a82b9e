#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "disk/sector_device.h"
#include "ntfs/data_run.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// How a run reader treats a record whose attribute list comes before the wanted attribute.
enum class AttributeListHandling {
  // Gathers the wanted attribute's extents from the records the list names (quick engine).
  kFollow,
  // Gives 87 (professional engine: attaching, searching, content check).
  kRefuse,
  // Gives -100, and 87 for a first-attribute offset not below the record size
  // (professional engine: extraction and preview).
  kStop,
};

// No file gathers more runs than this from its extents.
inline constexpr std::size_t kMaxDataRuns = std::size_t{1} << 21;

// Replaces `runs` with the runs of the first attribute of `attributeType` in the file
// record at `recordSector`, reading one record block there. Returns 0; -1 when the sector
// holds no file record; -100 when the attribute is absent, resident, or has no runs (an
// empty non-resident attribute of size 0 gives 0 and no runs); 87 or -100 as `lists` says;
// or the read's error.
//
// When the file's record holds an attribute list and the attribute is missing or only its
// first extent is there, every extent of the same attribute (type and name) is taken from
// the records the list names, in cluster order, each rebased onto the runs before it.
// Extension records are found through `mftRuns`; while the MFT's own runs are being read
// (`recordSector` is the MFT's first sector), through the runs gathered so far. A list
// entry of length 0, an extent that is missing, out of order or in a record that does not
// belong to the file (a record listing itself for an extent it lacks included) ends the
// gathering with what came before it.
//
// With `stream`, the data attribute of that name (UTF-8) is taken instead of the first one;
// its later extents are followed only when its first one is in the file's own record.
ResultCode ReadAttributeRuns(SectorDevice& device, const NtfsGeometry& geometry,
                             std::span<const DataRun> mftRuns, std::uint64_t recordSector,
                             std::uint32_t attributeType, std::vector<DataRun>& runs,
                             AttributeListHandling lists = AttributeListHandling::kFollow,
                             std::string_view stream = {});

}  // namespace keldrive
