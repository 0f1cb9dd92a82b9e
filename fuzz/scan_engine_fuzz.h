#pragma once

// What the quick-scan fuzz targets share: a volume made of the input, and an engine run
// over it through every operation that reads what the scan found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/log_backed_engine.h"
#include "platform/memory_medium.h"

namespace keldrive::fuzzing {

// A scan folder of its own for each target.
inline std::string ScanFolder(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

// Empties the scan folder before an input. A log of the same name left by an earlier input
// would be loaded and added to, so that every later input listed and read the records of
// all inputs before it: after a minute of fuzzing, most of each run went on that.
inline void EmptyScanFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
}

// The smallest medium a scan is given: the input followed by zeros up to here, so that
// structures the input places just beyond itself read as empty rather than failing at
// once. Small media are scanned whole in little time, so the fuzzer tries many more inputs.
inline constexpr std::size_t kSmallestMediumBytes = 64 * 1024;

// Attaches the engine to the input, padded to kSmallestMediumBytes, scans it, and lists,
// previews, counts and maps the free space of what it found.
inline void ScanInput(LogBackedEngine& engine, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize(std::max(size, kSmallestMediumBytes));
  SectorDevice device;
  AttachImage(device, std::make_unique<platform::MemoryMedium>(std::move(bytes)));
  const std::uint64_t sectors = device.totalSectors;
  if (engine.AttachDevice(std::move(device), 0, sectors, 1) != 0) return;
  if (engine.Scan("") != 0) return;
  std::vector<FoundFile> files;
  engine.ListFilesByType("*.other|*.txt|*.jpg", files);
  std::vector<std::uint8_t> preview(4096);
  for (const FoundFile& file : files) {
    std::string path, parent;
    std::uint32_t got = static_cast<std::uint32_t>(preview.size());
    FoundFile memoryOnly = file;
    memoryOnly.SetName("preview");  // no extension: copied into memory, not to a file
    engine.ExtractForPreview(memoryOnly, path, preview, got, nullptr, nullptr);
    engine.GetParentPath(file, parent);
  }
  std::int32_t count = 0;
  engine.CountFolderFiles(nullptr, 0, count);
  std::uint64_t sector = 0, length = 0;
  for (int i = 0; i < 64; ++i) {
    engine.NextFreeExtent(sector, length);
    if (length == 0) break;
    sector += length;
  }
}

}  // namespace keldrive::fuzzing
