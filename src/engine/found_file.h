#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/file_time.h"

namespace keldrive {

// The engine that produced a record; the combined engine routes browsing, preview and
// recovery of a record by it.
enum class SourceEngine : std::uint32_t {
  kQuickNtfs = 0,
  kQuickFat = 1,
  kProfessionalNtfs = 2,
  kProfessionalFat = 3,
  kCarving = 4,
};

inline constexpr std::size_t kFoundFileBytes = 346;
inline constexpr std::size_t kFoundFileNameBytes = 260;  // with the terminating NUL

// One found file or folder: the record every engine writes to its scan log and hands out
// by value. Names are UTF-8.
struct FoundFile {
  std::uint16_t driveLetter = 0;  // the medium's letter or number, 0 for an image without one
  std::uint32_t sourceEngine = 0;
  std::uint32_t isFolder = 0;
  std::uint32_t isDeleted = 0;     // folders: the entry is deleted or lies in a deleted folder
  std::uint32_t contentOk = 0;     // files: 0 when the data does not carry the expected signature
  std::uint32_t recordNumber = 0;  // 1-based position in the scan log
  std::uint32_t startCluster = 0;  // first cluster (FAT); the MFT record number (NTFS)
  std::uint32_t clusterBytes = 0;
  FileTime created = 0;
  FileTime accessed = 0;
  FileTime modified = 0;
  std::uint64_t size = 0;
  std::uint64_t dataAreaSector = 0;  // sector of cluster 2, relative to the volume start (FAT)
  std::uint64_t entrySector = 0;     // absolute sector of the directory entry or MFT record
  std::uint64_t volumeStartSector = 0;
  std::array<char, kFoundFileNameBytes> name{};  // NUL-terminated

  // The name up to its terminator (at most 259 bytes).
  std::string_view Name() const;
  // Stores the name, cut at a UTF-8 character boundary to fit 259 bytes.
  void SetName(std::string_view text);
};

// Field offsets of the stored record, little-endian and packed.
namespace found_file_offset {
inline constexpr std::size_t kDriveLetter = 0;
inline constexpr std::size_t kSourceEngine = 2;
inline constexpr std::size_t kIsFolder = 6;
inline constexpr std::size_t kIsDeleted = 10;
inline constexpr std::size_t kContentOk = 14;
inline constexpr std::size_t kRecordNumber = 18;
inline constexpr std::size_t kStartCluster = 22;
inline constexpr std::size_t kClusterBytes = 26;
inline constexpr std::size_t kCreated = 30;
inline constexpr std::size_t kAccessed = 38;
inline constexpr std::size_t kModified = 46;
inline constexpr std::size_t kSize = 54;
inline constexpr std::size_t kDataAreaSector = 62;
inline constexpr std::size_t kEntrySector = 70;
inline constexpr std::size_t kVolumeStartSector = 78;
inline constexpr std::size_t kName = 86;
static_assert(kName + kFoundFileNameBytes == kFoundFileBytes);
}  // namespace found_file_offset

// Writes the 346 stored bytes of a record; every byte is written, the name zero-padded.
void SerializeFoundFile(const FoundFile& record, std::span<std::uint8_t, kFoundFileBytes> out);

// Reads a stored record. A name without a terminator is cut at byte 259.
FoundFile ParseFoundFile(std::span<const std::uint8_t, kFoundFileBytes> bytes);

}  // namespace keldrive
