#include "ntfs/file_name_attribute.h"

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kParentOffset = 0x00;
constexpr std::size_t kCreatedOffset = 0x08;
constexpr std::size_t kModifiedOffset = 0x10;
constexpr std::size_t kAccessedOffset = 0x20;
constexpr std::size_t kRealSizeOffset = 0x30;
constexpr std::size_t kNameLengthOffset = 0x40;
constexpr std::size_t kNamespaceOffset = 0x41;

}  // namespace

ParseStatus ParseFileNameValue(std::span<const std::uint8_t> value, FileNameAttribute& out) {
  if (value.size() < kFileNameFixedBytes) return ParseStatus::kDamaged;
  ByteReader r(value);
  FileNameAttribute f;
  f.parentRecord = r.le32At(kParentOffset);
  f.created = r.le64At(kCreatedOffset);
  f.modified = r.le64At(kModifiedOffset);
  f.accessed = r.le64At(kAccessedOffset);
  f.realSize = r.le64At(kRealSizeOffset);
  const std::size_t chars = r.u8At(kNameLengthOffset);
  f.nameNamespace = r.u8At(kNamespaceOffset);
  ByteReader name = r.at(kFileNameFixedBytes, chars * 2);
  f.name.reserve(chars);
  for (std::size_t i = 0; i < chars && name.ok(); ++i) {
    f.name.push_back(static_cast<char16_t>(name.le16()));
  }
  if (!r.ok() || !name.ok()) return ParseStatus::kDamaged;
  out = std::move(f);
  return ParseStatus::kOk;
}

ParseStatus ParseFileNameAttribute(const Attribute& attribute, FileNameAttribute& out) {
  if (attribute.header.type != attribute_type::kFileName) return ParseStatus::kNotThisStructure;
  if (attribute.header.nonResident || attribute.bytes.size() < kFileNameValueOffset) {
    return ParseStatus::kDamaged;
  }
  return ParseFileNameValue(attribute.bytes.subspan(kFileNameValueOffset), out);
}

}  // namespace keldrive
