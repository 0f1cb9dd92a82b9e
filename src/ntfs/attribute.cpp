#include "ntfs/attribute.h"

#include <algorithm>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kLengthOffset = 0x04;
constexpr std::size_t kNonResidentOffset = 0x08;
constexpr std::size_t kNameLengthOffset = 0x09;
constexpr std::size_t kNameOffsetOffset = 0x0A;
constexpr std::size_t kValueLengthOffset = 0x10;
constexpr std::size_t kValueOffsetOffset = 0x14;
constexpr std::size_t kLowestVcnOffset = 0x10;
constexpr std::size_t kHighestVcnOffset = 0x18;
constexpr std::size_t kRunListOffsetOffset = 0x20;
constexpr std::size_t kAllocatedSizeOffset = 0x28;
constexpr std::size_t kRealSizeOffset = 0x30;

constexpr std::uint32_t kFirstFillType = 0xFDFDFDFD;

}  // namespace

ParseStatus ParseAttributeHeader(std::span<const std::uint8_t> bytes, AttributeHeader& out) {
  ByteReader r(bytes);
  const std::uint32_t type = r.le32();
  if (!r.ok()) return ParseStatus::kDamaged;
  if (type == attribute_type::kEnd) return ParseStatus::kNotThisStructure;
  if (bytes.size() < kAttributeCommonHeaderBytes) return ParseStatus::kDamaged;

  AttributeHeader h;
  h.type = type;
  h.length = r.le32At(kLengthOffset);
  h.nonResident = r.u8At(kNonResidentOffset) != 0;
  h.nameLength = r.u8At(kNameLengthOffset);
  h.nameOffset = r.le16At(kNameOffsetOffset);
  const std::size_t headerBytes = h.nonResident ? kNonResidentHeaderBytes : kResidentHeaderBytes;
  if (h.length < headerBytes || h.length > bytes.size()) return ParseStatus::kDamaged;
  if (h.nonResident) {
    h.lowestVcn = r.le64At(kLowestVcnOffset);
    h.highestVcn = r.le64At(kHighestVcnOffset);
    h.runListOffset = r.le16At(kRunListOffsetOffset);
    h.allocatedSize = r.le64At(kAllocatedSizeOffset);
    h.realSize = r.le64At(kRealSizeOffset);
  } else {
    h.valueLength = r.le32At(kValueLengthOffset);
    h.valueOffset = r.le16At(kValueOffsetOffset);
  }
  if (!r.ok()) return ParseStatus::kDamaged;
  out = h;
  return ParseStatus::kOk;
}

ParseStatus ResidentValue(const Attribute& attribute, std::span<const std::uint8_t>& value) {
  value = {};
  if (attribute.header.nonResident) return ParseStatus::kNotThisStructure;
  ByteReader field =
      ByteReader(attribute.bytes).at(attribute.header.valueOffset, attribute.header.valueLength);
  if (!field.ok()) return ParseStatus::kDamaged;
  value = field.bytes(attribute.header.valueLength);
  return ParseStatus::kOk;
}

bool AttributeName(const Attribute& attribute, std::u16string& name) {
  name.clear();
  const std::size_t chars = attribute.header.nameLength;
  ByteReader r = ByteReader(attribute.bytes).at(attribute.header.nameOffset, chars * 2);
  for (std::size_t i = 0; i < chars && r.ok(); ++i) name.push_back(static_cast<char16_t>(r.le16()));
  if (!r.ok()) name.clear();
  return r.ok();
}

AttributeWalk::AttributeWalk(std::span<const std::uint8_t> record, std::size_t firstOffset,
                             std::size_t end, WalkStops stops)
    : area_(record.first(std::min(end, record.size()))), position_(firstOffset), stops_(stops) {}

AttributeWalk AttributeWalk::OfRecord(std::span<const std::uint8_t> record,
                                      const FileRecordHeader& header, std::uint32_t recordSize,
                                      WalkStops stops) {
  return AttributeWalk(record, header.firstAttributeOffset,
                       AttributeAreaEnd(header, recordSize, record.size()), stops);
}

bool AttributeWalk::Stop(bool damaged) {
  done_ = true;
  damaged_ = damaged;
  return false;
}

bool AttributeWalk::Next(Attribute& out) {
  if (done_) return false;
  if (position_ >= area_.size()) return Stop(position_ > area_.size());
  ByteReader r = ByteReader(area_).at(position_);
  const std::uint32_t type = r.le32();
  if (!r.ok()) return Stop(true);
  if (type == attribute_type::kEnd) return Stop(false);
  if (stops_ == WalkStops::kScanTime && (type == 0 || type >= kFirstFillType)) return Stop(false);
  const std::uint32_t length = r.le32();
  if (!r.ok() || length == 0) return Stop(true);

  Attribute a;
  ByteReader whole = ByteReader(area_).at(position_, length);
  if (!whole.ok()) return Stop(true);
  a.bytes = whole.bytes(length);
  if (ParseAttributeHeader(a.bytes, a.header) != ParseStatus::kOk) return Stop(true);
  a.offset = position_;
  position_ += length;
  out = a;
  return true;
}

}  // namespace keldrive
