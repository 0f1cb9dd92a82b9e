// Runs the FAT deleted-file scan over an arbitrary volume held in memory, then lists,
// counts and previews what it found: a damaged or crafted volume must never crash, hang
// or read outside what the medium holds.
#include "fat/fast_fat_recovery.h"
#include "scan_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = keldrive::fuzzing::ScanFolder("keldrive-fuzz-fat");
  keldrive::CFastFatRecovery engine(
      keldrive::ScanEnvironment{[] { return folder; }, folder, nullptr});
  keldrive::fuzzing::EmptyScanFolder(folder);
  keldrive::fuzzing::ScanInput(engine, data, size);
  return 0;
}
