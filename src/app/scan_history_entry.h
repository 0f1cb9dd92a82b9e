#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/file_time.h"
#include "platform/result_code.h"

namespace keldrive {

// How far a professional scan of an area got, so that a later scan can go on from there.
struct ScanResumePoint {
  std::uint64_t extentStart = 0;   // first sector of the free extent being scanned
  std::uint64_t extentLength = 0;  // sectors in that extent
  std::uint64_t extentOffset = 0;  // sectors of it already scanned
  std::uint64_t sectorsDone = 0;
  std::uint64_t filesFound = 0;

  bool operator==(const ScanResumePoint&) const = default;
};

// What kind of scan an entry stands for, kept in the entry's four spare bytes. Entries
// written before there were kinds hold 0 there: professional scans, the only scans recorded
// then. Scans of different kinds of the same area are different entries.
enum class ScanKind : std::uint32_t {
  kProfessional = 0,       // the free space of the area, after the quick engine
  kDeleted = 1,            // the quick engine alone
  kProfessionalWhole = 2,  // every sector of the area, used or not
};

// One earlier scan: the area or image scanned, how far it got and where its logs are.
struct ScanHistoryEntry {
  std::int32_t diskNumber = 0;  // image scans: as the caller passed it, normally 0
  ScanKind kind = ScanKind::kProfessional;
  std::uint64_t firstSector = 0;
  std::uint64_t sectorCount = 0;
  ScanResumePoint resume;
  // Free bytes of the volume when the entry was written; 0 for images and for areas
  // without a mounted file system. A change means the volume was written to since.
  std::uint64_t freeBytes = 0;
  FileTime imageWriteTime = 0;  // last-write time of the image file; 0 for disk areas
  std::string imagePath;        // empty for disk areas
  std::string scanFolder;       // the folder of this scan's logs

  bool operator==(const ScanHistoryEntry&) const = default;
};

// The entry as the history file stores it: little-endian fields and two UTF-16 paths of
// 260 units each, the last unit of a path always its terminating zero.
inline constexpr std::size_t kScanHistoryEntrySize = 1120;
inline constexpr std::size_t kScanHistoryPathUnits = 260;

// Fails with kFilenameTooLong when a path needs more than 259 UTF-16 units, and with
// kInvalidName when it is not valid UTF-8.
ResultCode SerializeScanHistoryEntry(const ScanHistoryEntry& entry,
                                     std::span<std::uint8_t, kScanHistoryEntrySize> out);

// False for a damaged entry (too short, a path without its terminating zero or not valid
// UTF-16); `out` is then unchanged.
bool ParseScanHistoryEntry(std::span<const std::uint8_t> bytes, ScanHistoryEntry& out);

}  // namespace keldrive
