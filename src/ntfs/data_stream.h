#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ntfs/attribute.h"

namespace keldrive {

// A data attribute of a file record: the unnamed one holds the file's data, each named
// one an alternate data stream, listed as a file of its own, "file:stream".
struct DataStream {
  std::u16string name;
  std::uint64_t size = 0;
};

// The name and size of a data attribute (the real size, or the resident value's length);
// false when the attribute is damaged.
bool ReadDataStream(const Attribute& attribute, DataStream& out);

// Whether a named stream holds the user's data. Names beginning with "$" belong to the
// file system itself ($UsnJrnl:$J and :$Max, the change journal; $Secure:$SDS): they are
// not listed.
bool IsUserStream(std::u16string_view name);

// "file:stream".
std::string StreamFileName(std::string_view fileName, std::u16string_view streamName);

// The stream a found file's name points at, in UTF-8: the text after its last ":", which
// no stream name can hold. A file name that holds ":" itself (a POSIX name) is told apart
// by its record, which has no data attribute of that name.
std::optional<std::string> StreamNameOf(std::string_view foundName);

// Whether a data attribute is the one `stream` names: the unnamed one for none.
bool IsStreamAttribute(const Attribute& attribute, const std::optional<std::string>& stream);

}  // namespace keldrive
