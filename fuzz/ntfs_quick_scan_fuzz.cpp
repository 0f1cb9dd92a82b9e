// Runs the NTFS deleted-file scan over an arbitrary volume held in memory, then lists,
// previews and maps the free space of what it found: a damaged or crafted MFT must never
// crash, hang or read outside the medium.
#include "ntfs/fast_ntfs_recovery.h"
#include "ntfs/ntfs_fuzz.h"
#include "scan_engine_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  keldrive::FuzzNtfsVolume(std::span<const std::uint8_t>(data, size));
  static const std::string folder = keldrive::fuzzing::ScanFolder("keldrive-fuzz-ntfs");
  keldrive::CFastNtfsRecovery engine(
      keldrive::ScanEnvironment{[] { return folder; }, folder, nullptr});
  keldrive::fuzzing::EmptyScanFolder(folder);
  keldrive::fuzzing::ScanInput(engine, data, size);
  return 0;
}
