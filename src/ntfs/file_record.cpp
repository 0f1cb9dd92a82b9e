#include "ntfs/file_record.h"

#include <algorithm>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kSequenceOffsetField = 0x04;
constexpr std::size_t kFirstAttributeOffset = 0x14;
constexpr std::size_t kFlagsOffset = 0x16;
constexpr std::size_t kBytesInUseOffset = 0x18;
constexpr std::size_t kBytesAllocatedOffset = 0x1C;
constexpr std::size_t kBaseRecordOffset = 0x20;
constexpr std::size_t kRecordNumberOffset = 0x2C;
constexpr std::uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFF;

}  // namespace

bool IsFileRecord(std::span<const std::uint8_t> bytes) {
  ByteReader r(bytes);
  return r.le32() == kFileRecordSignature && r.ok();
}

ParseStatus ParseFileRecordHeader(std::span<const std::uint8_t> bytes, FileRecordHeader& out) {
  if (bytes.size() < kFileRecordHeaderBytes) return ParseStatus::kDamaged;
  if (!IsFileRecord(bytes)) return ParseStatus::kNotThisStructure;
  // The header of NTFS 3.0 holds the array of a 512-byte-sector record, at least.
  const auto sequence = UpdateSequenceOffset(bytes, 1);
  if (!sequence) return ParseStatus::kDamaged;
  ByteReader r(bytes);
  out.updateSequenceOffset = static_cast<std::uint16_t>(*sequence);
  out.firstAttributeOffset = r.le16At(kFirstAttributeOffset);
  out.flags = r.le16At(kFlagsOffset);
  out.bytesInUse = r.le32At(kBytesInUseOffset);
  out.bytesAllocated = r.le32At(kBytesAllocatedOffset);
  out.baseRecord = r.le64At(kBaseRecordOffset) & kRecordNumberMask;
  out.recordNumber = out.HasRecordNumber() ? r.le32At(kRecordNumberOffset) : 0;
  out.updateSequenceNumber = r.le16At(*sequence);
  return r.ok() ? ParseStatus::kOk : ParseStatus::kDamaged;
}

std::optional<std::size_t> UpdateSequenceOffset(std::span<const std::uint8_t> record,
                                                std::uint32_t blocks) {
  ByteReader r(record);
  const std::size_t offset = r.le16At(kSequenceOffsetField);
  if (!r.ok() || offset % 2 != 0 || offset < kUpdateSequenceOffset30 ||
      offset + 2 + std::size_t{blocks} * 2 > kUpdateSequenceStride) {
    return std::nullopt;
  }
  return offset;
}

ParseStatus ApplyUpdateSequence(std::span<std::uint8_t> record, std::uint32_t recordSize) {
  if (recordSize == 0 || recordSize % kUpdateSequenceStride != 0 || record.size() < recordSize) {
    return ParseStatus::kDamaged;
  }
  const std::uint32_t blocks = recordSize / kUpdateSequenceStride;
  const auto sequence = UpdateSequenceOffset(record, blocks);
  if (!sequence) return ParseStatus::kDamaged;
  ByteReader saved = ByteReader(record).at(*sequence + 2, std::size_t{blocks} * 2);
  if (!saved.ok()) return ParseStatus::kDamaged;
  for (std::uint32_t i = 1; i <= blocks; ++i) {
    const std::uint16_t word = saved.le16();
    const std::size_t end = std::size_t{i} * kUpdateSequenceStride;
    record[end - 2] = static_cast<std::uint8_t>(word);
    record[end - 1] = static_cast<std::uint8_t>(word >> 8);
  }
  return ParseStatus::kOk;
}

std::size_t AttributeAreaEnd(const FileRecordHeader& header, std::uint32_t recordSize,
                             std::size_t bufferBytes) {
  return std::min({std::size_t{header.bytesInUse}, std::size_t{recordSize}, bufferBytes});
}

}  // namespace keldrive
