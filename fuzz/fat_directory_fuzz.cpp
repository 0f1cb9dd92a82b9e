// Feeds arbitrary bytes to the FAT directory tests, which judge sectors found anywhere on
// a damaged medium.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fat/dir_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  keldrive::IsFatDirectorySector(bytes);
  keldrive::IsDotPairSector(bytes);
  for (std::size_t at = 0; at < size; at += keldrive::kDirEntryBytes) {
    const auto entry = bytes.subspan(at);
    keldrive::IsValidDirEntry(entry, entry.size() > 32 ? entry.subspan(32) : entry.subspan(0, 0));
    keldrive::DirEntry parsed;
    keldrive::ParseDirEntry(entry, parsed);
    keldrive::LongNameEntry piece;
    keldrive::ParseLongNameEntry(entry, piece);
  }
  return 0;
}
