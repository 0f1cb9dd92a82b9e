#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"

namespace keldrive {

// Recovery mode 0 is deleted-file recovery; any other value is formatted or deep recovery.
inline constexpr int kDeletedRecoveryMode = 0;

// Reads the first 16 KiB of a volume, classifies its file system and returns the engine
// that fits it and the mode, already attached (whatever the attach answered). Nothing
// when the medium cannot be opened or read in full, or when deleted-file recovery meets a
// file system it has no engine for.
std::unique_ptr<IFileRecoveryParse> SelectEngineForPartition(std::uint32_t diskNumber,
                                                             std::uint64_t startSector,
                                                             std::uint64_t sectorCount,
                                                             char16_t driveLetter, int mode,
                                                             const ScanEnvironment& environment);

std::unique_ptr<IFileRecoveryParse> SelectEngineForImage(const std::string& path,
                                                         char16_t driveLetter, int mode,
                                                         const ScanEnvironment& environment);

}  // namespace keldrive
