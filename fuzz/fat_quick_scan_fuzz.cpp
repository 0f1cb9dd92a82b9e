// Runs the FAT deleted-file scan over an arbitrary volume held in memory, then lists,
// counts and previews what it found: a damaged or crafted volume must never crash, hang
// or read outside what the medium holds.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fat/fast_fat_recovery.h"
#include "platform/memory_medium.h"

namespace {

const std::string& ScanFolder() {
  static const std::string folder =
      (std::filesystem::temp_directory_path() / "keldrive-fuzz-fat").string();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The volume is the input followed by zeros, so that tables and folders the boot sector
  // places beyond the input read as empty rather than failing at once.
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize(std::max<std::size_t>(size, 1 << 20));
  keldrive::SectorDevice device;
  keldrive::AttachImage(device,
                        std::make_unique<keldrive::platform::MemoryMedium>(std::move(bytes)));

  keldrive::ScanEnvironment environment{[] { return ScanFolder(); }, ScanFolder(), nullptr};
  keldrive::CFastFatRecovery engine(environment);
  const std::uint64_t sectors = device.totalSectors;
  if (engine.AttachDevice(std::move(device), 0, sectors, 1) != 0) return 0;
  if (engine.Scan("") != 0) return 0;
  std::vector<keldrive::FoundFile> files;
  engine.ListFilesByType("*.other|*.txt|*.jpg", files);
  std::vector<std::uint8_t> preview(4096);
  for (const keldrive::FoundFile& file : files) {
    std::string path, parent;
    std::uint32_t got = static_cast<std::uint32_t>(preview.size());
    keldrive::FoundFile memoryOnly = file;
    memoryOnly.SetName("preview");  // no extension: copied into memory, not to a file
    engine.ExtractForPreview(memoryOnly, path, preview, got, nullptr, nullptr);
    engine.GetParentPath(file, parent);
  }
  std::int32_t count = 0;
  engine.CountFolderFiles(nullptr, 0, count);
  std::uint64_t sector = 0, length = 0;
  engine.NextFreeExtent(sector, length);
  return 0;
}
