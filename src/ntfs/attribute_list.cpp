#include "ntfs/attribute_list.h"

#include "disk/byte_reader.h"
#include "ntfs/attribute.h"

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

}  // namespace keldrive
