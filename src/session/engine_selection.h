#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "disk/file_system_detection.h"
#include "disk/sector_device.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"
#include "session/recovery_mode.h"
#include "session/scan_area.h"

namespace keldrive {

// Reads the first 16 KiB of the area through `device` (the medium opened once for the
// whole operation), classifies its file system, and returns the engine that fits it and
// the mode, attached to the area through a record that shares `device` (whatever the
// attach answered). Nothing when those bytes cannot be read in full, or when deleted
// recovery meets a file system it has no engine for. `kind` receives the classification.
std::unique_ptr<IFileRecoveryParse> SelectEngine(SectorDevice& device, const ScanArea& area,
                                                 RecoveryMode mode,
                                                 const ScanEnvironment& environment,
                                                 FileSystemKind* kind = nullptr);

// The same for an area given the way the desktop program's media rows give it: a
// partition of disk `diskNumber`, or an image file. Each opens its medium itself. `mode`
// is the recovery-mode flag: 0 deleted recovery, anything else professional.
std::unique_ptr<IFileRecoveryParse> SelectEngineForPartition(std::uint32_t diskNumber,
                                                             std::uint64_t startSector,
                                                             std::uint64_t sectorCount,
                                                             char16_t driveLetter, int mode,
                                                             const ScanEnvironment& environment);

std::unique_ptr<IFileRecoveryParse> SelectEngineForImage(const std::string& path,
                                                         char16_t driveLetter, int mode,
                                                         const ScanEnvironment& environment);

}  // namespace keldrive
