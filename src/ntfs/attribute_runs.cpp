#include "ntfs/attribute_runs.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "ntfs/attribute.h"
#include "ntfs/attribute_list.h"
#include "ntfs/data_stream.h"
#include "ntfs/file_record.h"
#include "ntfs/mft_map.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"

namespace keldrive {
namespace {

// The runs of one attribute, put together extent by extent in cluster (VCN) order.
class ExtentChain {
 public:
  // Takes `a` when it is the extent that comes next; false otherwise or when it would
  // overflow the sums or the run limit.
  bool Add(const Attribute& a) {
    const AttributeHeader& h = a.header;
    if (!h.nonResident || h.lowestVcn != nextVcn_ || h.highestVcn < h.lowestVcn ||
        h.highestVcn == std::numeric_limits<std::uint64_t>::max()) {
      return false;
    }
    std::vector<DataRun> extent;
    DecodeDataRuns(a, extent);
    if (runs_.size() + extent.size() > kMaxDataRuns) return false;
    if (!AppendExtentRuns(runs_, summed_, extent)) return false;
    nextVcn_ = h.highestVcn + 1;
    return true;
  }

  std::uint64_t nextVcn() const { return nextVcn_; }
  std::vector<DataRun>& runs() { return runs_; }

 private:
  std::vector<DataRun> runs_;
  std::int64_t summed_ = 0;
  std::uint64_t nextVcn_ = 0;
};

struct Record {
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
};

// Whether a first extent maps all the clusters the attribute has.
bool MapsWholeAttribute(const AttributeHeader& h, std::uint64_t clusterBytes) {
  if (h.lowestVcn != 0 || clusterBytes == 0) return h.lowestVcn == 0;
  const std::uint64_t clusters =
      h.allocatedSize / clusterBytes + (h.allocatedSize % clusterBytes != 0 ? 1 : 0);
  if (h.highestVcn == std::numeric_limits<std::uint64_t>::max()) return clusters == 0;
  return h.highestVcn + 1 >= clusters;
}

// The extent of (type, name) starting at `vcn` in a record, if it holds one.
std::optional<Attribute> FindExtent(const Record& record, std::uint32_t recordSize,
                                    std::uint32_t type, const std::u16string& name,
                                    std::uint64_t vcn) {
  AttributeWalk walk = AttributeWalk::OfRecord(record.block, record.header, recordSize);
  Attribute a;
  std::u16string aName;
  while (walk.Next(a)) {
    if (a.header.type == type && a.header.nonResident && a.header.lowestVcn == vcn &&
        AttributeName(a, aName) && aName == name) {
      return a;
    }
  }
  return std::nullopt;
}

// Gathers the extents of (type, name) that `list` names, from `chain`'s next cluster on.
void FollowAttributeList(SectorDevice& device, const NtfsGeometry& geometry,
                         std::span<const DataRun> mftRuns, bool readingMft, const Record& base,
                         const Attribute& list, std::uint32_t type,
                         std::optional<std::u16string> name, ExtentChain& chain) {
  std::vector<std::uint8_t> value;
  if (ReadAttributeListValue(device, geometry, list, value) != result::kSuccess) return;

  AttributeListWalk walk(value);
  AttributeListEntry entry;
  Record extension;
  while (walk.Next(entry)) {
    if (entry.type != type) continue;
    if (!name) name = entry.name;
    if (entry.name != *name || entry.startingVcn < chain.nextVcn()) continue;
    if (entry.startingVcn > chain.nextVcn()) return;  // an extent is missing

    std::optional<Attribute> extent;
    if (entry.recordNumber == base.header.recordNumber) {
      extent = FindExtent(base, geometry.recordSize, type, *name, entry.startingVcn);
    } else {
      // The MFT's own extension records lie in the part of the MFT already mapped.
      const std::span<const DataRun> map = !mftRuns.empty() ? mftRuns
                                           : readingMft     ? std::span<const DataRun>(chain.runs())
                                                            : std::span<const DataRun>();
      if (map.empty()) return;
      const std::uint64_t sector = RecordNumberToSector(geometry, map, entry.recordNumber);
      if (ReadFileRecord(device, geometry, sector, extension.block, extension.header) !=
              result::kSuccess ||
          extension.header.baseRecord != base.header.recordNumber) {
        return;
      }
      extent = FindExtent(extension, geometry.recordSize, type, *name, entry.startingVcn);
    }
    if (!extent || !chain.Add(*extent)) return;
  }
}

}  // namespace

ResultCode ReadAttributeRuns(SectorDevice& device, const NtfsGeometry& geometry,
                             std::span<const DataRun> mftRuns, std::uint64_t recordSector,
                             std::uint32_t attributeType, std::vector<DataRun>& runs,
                             AttributeListHandling lists, std::string_view stream) {
  runs.clear();
  Record base;
  if (const ResultCode rc = ReadFileRecord(device, geometry, recordSector, base.block, base.header);
      rc != result::kSuccess) {
    return rc;
  }
  if (lists == AttributeListHandling::kStop &&
      base.header.firstAttributeOffset >= geometry.recordSize) {
    return result::kInvalidParameter;
  }

  std::optional<Attribute> target;
  std::optional<Attribute> list;
  AttributeWalk walk = AttributeWalk::OfRecord(base.block, base.header, geometry.recordSize);
  Attribute a;
  while (walk.Next(a)) {
    if (a.header.type == attributeType &&
        (stream.empty() || IsStreamAttribute(a, std::string(stream)))) {
      target = a;
      break;
    }
    if (a.header.type == attribute_type::kAttributeList && !list) {
      if (lists == AttributeListHandling::kRefuse) return result::kInvalidParameter;
      if (lists == AttributeListHandling::kStop) return ntfs_result::kAttributeNotFound;
      list = a;
    }
  }
  if (target && !target->header.nonResident) return ntfs_result::kAttributeNotFound;

  ExtentChain chain;
  const bool complete = target && MapsWholeAttribute(target->header, geometry.ClusterBytes());
  if (list && !complete && (target || stream.empty())) {
    std::optional<std::u16string> name;
    if (target) {
      std::u16string targetName;
      AttributeName(*target, targetName);
      name = targetName;
    }
    FollowAttributeList(device, geometry, mftRuns, recordSector == geometry.mftStartSector, base,
                        *list, attributeType, name, chain);
  }
  if (!chain.runs().empty()) {
    runs = std::move(chain.runs());
    return result::kSuccess;
  }
  if (!target) return ntfs_result::kAttributeNotFound;

  // Without a usable list, the record's own extent is what there is.
  DecodeDataRuns(*target, runs);
  const bool empty = target->header.allocatedSize == 0 && target->header.realSize == 0;
  return !runs.empty() || empty ? result::kSuccess : ntfs_result::kAttributeNotFound;
}

}  // namespace keldrive
