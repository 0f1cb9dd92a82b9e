#include "ntfs/data_stream.h"

#include "engine/text_encoding.h"

namespace keldrive {

bool ReadDataStream(const Attribute& attribute, DataStream& out) {
  if (!AttributeName(attribute, out.name)) return false;
  if (attribute.header.nonResident) {
    out.size = attribute.header.realSize;
    return true;
  }
  std::span<const std::uint8_t> value;
  if (ResidentValue(attribute, value) != ParseStatus::kOk) return false;
  out.size = value.size();
  return true;
}

bool IsUserStream(std::u16string_view name) {
  return !name.empty() && name.front() != u'$';
}

std::string StreamFileName(std::string_view fileName, std::u16string_view streamName) {
  std::string name(fileName);
  name.push_back(':');
  name += Utf16ToUtf8Lossy(std::u16string(streamName));
  return name;
}

std::optional<std::string> StreamNameOf(std::string_view foundName) {
  const std::size_t colon = foundName.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == foundName.size()) {
    return std::nullopt;
  }
  return std::string(foundName.substr(colon + 1));
}

bool IsStreamAttribute(const Attribute& attribute, const std::optional<std::string>& stream) {
  if (attribute.header.type != attribute_type::kData) return false;
  if (!stream) return attribute.header.nameLength == 0;
  std::u16string name;
  return attribute.header.nameLength != 0 && AttributeName(attribute, name) &&
         Utf16ToUtf8Lossy(name) == *stream;
}

}  // namespace keldrive
