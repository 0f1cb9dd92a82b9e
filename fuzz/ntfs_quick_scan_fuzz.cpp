// Runs the NTFS deleted-file scan over an arbitrary volume held in memory, then lists,
// previews and maps the free space of what it found: a damaged or crafted MFT must never
// crash, hang or read outside the medium.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ntfs/fast_ntfs_recovery.h"
#include "ntfs/ntfs_fuzz.h"
#include "platform/memory_medium.h"

namespace {

const std::string& ScanFolder() {
  static const std::string folder =
      (std::filesystem::temp_directory_path() / "keldrive-fuzz-ntfs").string();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  keldrive::FuzzNtfsVolume(std::span<const std::uint8_t>(data, size));

  // The volume is the input followed by zeros.
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize(std::max<std::size_t>(size, 1 << 20));
  keldrive::SectorDevice device;
  keldrive::AttachImage(device,
                        std::make_unique<keldrive::platform::MemoryMedium>(std::move(bytes)));
  keldrive::CFastNtfsRecovery engine(
      keldrive::ScanEnvironment{[] { return ScanFolder(); }, ScanFolder(), nullptr});
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
  std::uint64_t sector = 0, length = 0;
  for (int i = 0; i < 64; ++i) {
    engine.NextFreeExtent(sector, length);
    if (length == 0) break;
    sector += length;
  }
  return 0;
}
