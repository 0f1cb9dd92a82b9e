#include "ntfs/record_reader.h"

#include "ntfs/attribute.h"
#include "ntfs/data_stream.h"
#include "ntfs/ntfs_result.h"

namespace keldrive {

ResultCode ReadRecordBlock(SectorDevice& device, const NtfsGeometry& geometry, std::uint64_t sector,
                           std::vector<std::uint8_t>& block) {
  const std::uint32_t sectors = RecordReadSectors(geometry);
  block.assign(std::size_t{sectors} * geometry.bytesPerSector, 0);
  std::int32_t got = 0;
  std::vector<std::uint32_t> unreadable;
  const ResultCode rc =
      ReadSectors(device, block, sector, static_cast<std::int32_t>(sectors),
                  static_cast<std::int32_t>(geometry.bytesPerSector), got, unreadable);
  // The read covers the records after this one too; only this one's own sectors matter.
  if (rc == result::kReadFault && unreadable.front() >= geometry.sectorsPerRecord) {
    return result::kSuccess;
  }
  return rc;
}

ResultCode ReadFileRecord(SectorDevice& device, const NtfsGeometry& geometry, std::uint64_t sector,
                          std::vector<std::uint8_t>& block, FileRecordHeader& header) {
  if (const ResultCode rc = ReadRecordBlock(device, geometry, sector, block);
      rc != result::kSuccess) {
    return rc;
  }
  if (ParseFileRecordHeader(block, header) != ParseStatus::kOk ||
      ApplyUpdateSequence(block, geometry.recordSize) != ParseStatus::kOk) {
    return ntfs_result::kNotFileRecord;
  }
  return result::kSuccess;
}

ResultCode ReadResidentData(SectorDevice& device, const NtfsGeometry& geometry,
                            std::uint64_t recordSector, std::vector<std::uint8_t>& value,
                            std::string_view stream) {
  value.clear();
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  const ResultCode rc = ReadFileRecord(device, geometry, recordSector, block, header);
  if (rc == ntfs_result::kNotFileRecord) return ntfs_result::kNoResidentData;
  if (rc != result::kSuccess) return rc;

  AttributeWalk walk = AttributeWalk::OfRecord(block, header, geometry.recordSize);
  Attribute a;
  while (walk.Next(a)) {
    if (a.header.type != attribute_type::kData) continue;
    if (!stream.empty() && !IsStreamAttribute(a, std::string(stream))) continue;
    if (a.header.nonResident) return ntfs_result::kNoResidentData;
    std::span<const std::uint8_t> exact;
    if (ResidentValue(a, exact) != ParseStatus::kOk) return result::kInvalidParameter;
    const std::size_t offset = a.header.valueOffset;  // inside the attribute, checked above
    if (a.bytes.size() - offset >= geometry.recordSize) return result::kInvalidParameter;
    value.assign(a.bytes.begin() + static_cast<std::ptrdiff_t>(offset), a.bytes.end());
    return result::kSuccess;
  }
  return ntfs_result::kNoResidentData;
}

}  // namespace keldrive
