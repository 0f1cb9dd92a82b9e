// Runs the deep scan over an arbitrary medium held in memory: the quick engine of whatever
// file system the input starts with, then the walk that hands every sector to the NTFS
// record scan, the FAT folder scan or the carver; then lists and previews what was found.
// A crafted medium must never crash, hang or read outside itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/memory_medium.h"
#include "session/professional_recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder =
      (std::filesystem::temp_directory_path() / "keldrive-fuzz-deep").string();
  // A fresh folder each time: logs an earlier input left would be loaded and added to.
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
  std::vector<std::uint8_t> bytes(data, data + size);
  // Whole sectors, and room behind the input so that what it points past itself reads as
  // zeros rather than failing at once.
  bytes.resize(std::max<std::size_t>((size + 511) / 512 * 512, 256 * 1024));
  keldrive::SectorDevice medium;
  keldrive::AttachImage(medium, std::make_unique<keldrive::platform::MemoryMedium>(std::move(bytes)));
  keldrive::CProfessionalRecovery engine(
      keldrive::ScanEnvironment{[] { return folder; }, folder, nullptr});
  engine.SetReadBytes(64 * 1024);
  engine.SetWholeArea(size % 2 == 0);
  const std::uint64_t sectors = medium.totalSectors;
  engine.AttachDevice(keldrive::ShareDevice(medium), 0, sectors, 1, 512);
  if (engine.Scan("") != 0) return 0;

  std::vector<keldrive::FoundFile> files;
  engine.ListFilesByType("*.other|*.jpg|*.txt|*.pdf|*.zip|*.doc", files);
  std::vector<std::uint8_t> preview(4096);
  for (keldrive::FoundFile file : files) {
    std::string path, parent;
    std::uint32_t got = static_cast<std::uint32_t>(preview.size());
    file.SetName("preview");  // no extension: copied into memory, not to a file
    engine.ExtractForPreview(file, path, preview, got, nullptr, nullptr);
    engine.GetParentPath(file, parent);
  }
  std::vector<keldrive::FoundFile> top;
  engine.ListFolder(nullptr, 0, top);
  for (const keldrive::FoundFile& item : top) {
    std::vector<keldrive::FoundFile> children;
    if (item.isFolder != 0) engine.ListFolder(&item, 1, children);
  }
  return 0;
}
