#include "ntfs/standard_information.h"

#include <vector>

#include "disk/byte_reader.h"
#include "ntfs/attribute.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"

namespace keldrive {
namespace {

// Standard information value: four FILETIMEs.
constexpr std::size_t kCreated = 0x00;
constexpr std::size_t kModified = 0x08;
constexpr std::size_t kAccessed = 0x18;
constexpr std::size_t kTimesBytes = 0x20;

}  // namespace

ResultCode ReadStandardTimes(SectorDevice& device, const NtfsGeometry& geometry,
                             std::uint64_t recordSector, FileTimes& out) {
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  const ResultCode rc = ReadFileRecord(device, geometry, recordSector, block, header);
  if (rc == ntfs_result::kNotFileRecord) return ntfs_result::kNoResidentData;
  if (rc != result::kSuccess) return rc;

  AttributeWalk walk = AttributeWalk::OfRecord(block, header, geometry.recordSize);
  Attribute a;
  while (walk.Next(a)) {
    if (a.header.type != attribute_type::kStandardInformation) continue;
    std::span<const std::uint8_t> value;
    if (a.header.nonResident || ResidentValue(a, value) != ParseStatus::kOk ||
        value.size() < kTimesBytes) {
      return result::kInvalidParameter;
    }
    ByteReader reader(value);
    out.created = reader.at(kCreated).le64();
    out.modified = reader.at(kModified).le64();
    out.accessed = reader.at(kAccessed).le64();
    return result::kSuccess;
  }
  return ntfs_result::kNoResidentData;
}

}  // namespace keldrive
