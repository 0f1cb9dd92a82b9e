#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "disk/sector_device.h"

namespace keldrive {

// Whether the first sector of a found file's data carries the signature its extension
// promises; unknown extensions are not contradicted.
using ContentCheck = std::function<bool(
    std::string_view extension, std::span<const std::uint8_t> sector, SectorDevice& device,
    std::uint32_t bytesPerSector, std::uint64_t absoluteSector)>;

// What an engine needs from the application around it: where the current scan keeps its
// logs (the scan history hands out a folder per scan), where preview files go, and the
// check of a found file's content.
struct ScanEnvironment {
  // The folder of the current scan, asked for when a scan starts or a log is loaded.
  std::function<std::string()> currentScanFolder;
  // The scan-log root, where previews are written ("tmp.jpg", "tmp.avi", documents).
  std::string previewFolder;
  // Without one, every file's content is taken to be what its name says.
  ContentCheck contentCheck;
};

}  // namespace keldrive
