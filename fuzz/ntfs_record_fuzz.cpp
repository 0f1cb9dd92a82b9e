// Feeds arbitrary bytes to the NTFS structure parsers: boot sector, file record (header,
// update sequence, attribute walks, file names, attribute lists) and run list.
#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/ntfs_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  keldrive::FuzzNtfsBootSector(bytes);
  keldrive::FuzzNtfsFileRecord(bytes);
  keldrive::FuzzNtfsRunList(bytes);
  return 0;
}
