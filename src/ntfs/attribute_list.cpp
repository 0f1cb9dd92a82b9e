#include "ntfs/attribute_list.h"

#include <algorithm>

#include "disk/byte_reader.h"
#include "ntfs/attribute.h"
#include "ntfs/data_run.h"

namespace keldrive {
namespace {

constexpr std::size_t kLengthOffset = 0x04;
constexpr std::size_t kNameLengthOffset = 0x06;
constexpr std::size_t kNameOffsetOffset = 0x07;
constexpr std::size_t kStartingVcnOffset = 0x08;
constexpr std::size_t kRecordOffset = 0x10;
constexpr std::uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFF;

}  // namespace

ParseStatus ParseAttributeListEntry(std::span<const std::uint8_t> bytes, AttributeListEntry& out) {
  ByteReader r(bytes);
  const std::uint32_t type = r.le32();
  if (!r.ok()) return ParseStatus::kDamaged;
  if (type == 0 || type == attribute_type::kEnd) return ParseStatus::kNotThisStructure;
  if (bytes.size() < kAttributeListEntryHeaderBytes) return ParseStatus::kDamaged;

  AttributeListEntry e;
  e.type = type;
  e.length = r.le16At(kLengthOffset);
  const std::size_t nameChars = r.u8At(kNameLengthOffset);
  const std::size_t nameOffset = r.u8At(kNameOffsetOffset);
  e.startingVcn = r.le64At(kStartingVcnOffset);
  e.recordNumber = r.le64At(kRecordOffset) & kRecordNumberMask;
  if (e.length < kAttributeListEntryHeaderBytes || e.length > bytes.size()) {
    return ParseStatus::kDamaged;
  }
  ByteReader name = r.at(0, e.length).at(nameOffset, nameChars * 2);
  for (std::size_t i = 0; i < nameChars && name.ok(); ++i) {
    e.name.push_back(static_cast<char16_t>(name.le16()));
  }
  if (!r.ok() || !name.ok()) return ParseStatus::kDamaged;
  out = std::move(e);
  return ParseStatus::kOk;
}

bool AttributeListWalk::Next(AttributeListEntry& out) {
  if (done_ || position_ >= list_.size()) {
    done_ = true;
    return false;
  }
  const ParseStatus status = ParseAttributeListEntry(list_.subspan(position_), out);
  if (status != ParseStatus::kOk) {
    done_ = true;
    damaged_ = status == ParseStatus::kDamaged;
    return false;
  }
  position_ += out.length;
  return true;
}

ResultCode ReadAttributeListValue(SectorDevice& device, const NtfsGeometry& geometry,
                                  const Attribute& list, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (!list.header.nonResident) {
    std::span<const std::uint8_t> value;
    if (ResidentValue(list, value) != ParseStatus::kOk) return result::kInvalidParameter;
    bytes.assign(value.begin(), value.end());
    return result::kSuccess;
  }
  std::vector<DataRun> listRuns;
  DecodeDataRuns(list, listRuns);
  const std::size_t wanted = static_cast<std::size_t>(
      std::min<std::uint64_t>(list.header.realSize, kMaxAttributeListBytes));
  const std::uint32_t sectorBytes = geometry.bytesPerSector;
  std::vector<std::uint8_t> piece;
  std::int64_t cluster = 0;
  for (const DataRun& run : listRuns) {
    if (bytes.size() >= wanted) break;
    if (!AddClusterDelta(cluster, run.clusterDelta)) break;
    std::uint64_t sector = 0;
    if (!ClusterToSector(geometry, cluster, sector)) break;
    const std::uint64_t runSectors = std::uint64_t{run.clusterCount} * geometry.sectorsPerCluster;
    const std::uint64_t neededSectors = (wanted - bytes.size() + sectorBytes - 1) / sectorBytes;
    const auto count = static_cast<std::int32_t>(std::min(runSectors, neededSectors));
    piece.assign(static_cast<std::size_t>(count) * sectorBytes, 0);
    std::int32_t got = 0;
    if (const ResultCode rc =
            ReadSectors(device, piece, sector, count, static_cast<std::int32_t>(sectorBytes), got);
        rc != result::kSuccess) {
      return rc;
    }
    const std::size_t take = std::min(piece.size(), wanted - bytes.size());
    bytes.insert(bytes.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(take));
  }
  return result::kSuccess;
}

}  // namespace keldrive
