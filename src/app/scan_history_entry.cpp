#include "app/scan_history_entry.h"

#include <algorithm>

#include "app/utf16.h"
#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kDiskNumberOffset = 0;  // i32
constexpr std::size_t kKindOffset = 4;        // u32, 0 in older files
constexpr std::size_t kFirstSectorOffset = 8;
constexpr std::size_t kSectorCountOffset = 16;
constexpr std::size_t kExtentStartOffset = 24;
constexpr std::size_t kExtentLengthOffset = 32;
constexpr std::size_t kExtentOffsetOffset = 40;
constexpr std::size_t kSectorsDoneOffset = 48;
constexpr std::size_t kFilesFoundOffset = 56;
constexpr std::size_t kFreeBytesOffset = 64;
constexpr std::size_t kImageWriteTimeOffset = 72;
constexpr std::size_t kImagePathOffset = 80;    // UTF-16LE, zero-terminated
constexpr std::size_t kScanFolderOffset = 600;  // UTF-16LE, zero-terminated
constexpr std::size_t kPathBytes = kScanHistoryPathUnits * 2;

static_assert(kImagePathOffset + kPathBytes == kScanFolderOffset);
static_assert(kScanFolderOffset + kPathBytes == kScanHistoryEntrySize);

void PutLittle(std::span<std::uint8_t> out, std::size_t offset, std::uint64_t value,
               std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

ResultCode PutPath(std::span<std::uint8_t> out, std::size_t offset, const std::string& path) {
  std::u16string units;
  if (!Utf8ToUtf16(path, units)) return result::kInvalidName;
  if (units.size() >= kScanHistoryPathUnits) return result::kFilenameTooLong;
  for (std::size_t i = 0; i < units.size(); ++i) PutLittle(out, offset + 2 * i, units[i], 2);
  return result::kSuccess;
}

bool GetPath(ByteReader& reader, std::size_t offset, std::string& out) {
  ByteReader field = reader.at(offset, kPathBytes);
  std::u16string units;
  for (std::size_t i = 0; i < kScanHistoryPathUnits; ++i) {
    const auto unit = static_cast<char16_t>(field.le16());
    if (!field.ok()) return false;
    if (unit == 0) return Utf16ToUtf8(units, out);
    units += unit;
  }
  return false;  // no terminating zero
}

}  // namespace

ResultCode SerializeScanHistoryEntry(const ScanHistoryEntry& entry,
                                     std::span<std::uint8_t, kScanHistoryEntrySize> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  PutLittle(out, kDiskNumberOffset, static_cast<std::uint32_t>(entry.diskNumber), 4);
  PutLittle(out, kKindOffset, static_cast<std::uint32_t>(entry.kind), 4);
  PutLittle(out, kFirstSectorOffset, entry.firstSector, 8);
  PutLittle(out, kSectorCountOffset, entry.sectorCount, 8);
  PutLittle(out, kExtentStartOffset, entry.resume.extentStart, 8);
  PutLittle(out, kExtentLengthOffset, entry.resume.extentLength, 8);
  PutLittle(out, kExtentOffsetOffset, entry.resume.extentOffset, 8);
  PutLittle(out, kSectorsDoneOffset, entry.resume.sectorsDone, 8);
  PutLittle(out, kFilesFoundOffset, entry.resume.filesFound, 8);
  PutLittle(out, kFreeBytesOffset, entry.freeBytes, 8);
  PutLittle(out, kImageWriteTimeOffset, entry.imageWriteTime, 8);
  if (const ResultCode rc = PutPath(out, kImagePathOffset, entry.imagePath);
      rc != result::kSuccess) {
    return rc;
  }
  return PutPath(out, kScanFolderOffset, entry.scanFolder);
}

bool ParseScanHistoryEntry(std::span<const std::uint8_t> bytes, ScanHistoryEntry& out) {
  ByteReader reader(bytes.first(std::min(bytes.size(), kScanHistoryEntrySize)));
  if (reader.size() != kScanHistoryEntrySize) return false;
  ScanHistoryEntry entry;
  entry.diskNumber = static_cast<std::int32_t>(reader.le32At(kDiskNumberOffset));
  entry.kind = static_cast<ScanKind>(reader.le32At(kKindOffset));
  entry.firstSector = reader.le64At(kFirstSectorOffset);
  entry.sectorCount = reader.le64At(kSectorCountOffset);
  entry.resume.extentStart = reader.le64At(kExtentStartOffset);
  entry.resume.extentLength = reader.le64At(kExtentLengthOffset);
  entry.resume.extentOffset = reader.le64At(kExtentOffsetOffset);
  entry.resume.sectorsDone = reader.le64At(kSectorsDoneOffset);
  entry.resume.filesFound = reader.le64At(kFilesFoundOffset);
  entry.freeBytes = reader.le64At(kFreeBytesOffset);
  entry.imageWriteTime = reader.le64At(kImageWriteTimeOffset);
  if (!reader.ok() || !GetPath(reader, kImagePathOffset, entry.imagePath) ||
      !GetPath(reader, kScanFolderOffset, entry.scanFolder)) {
    return false;
  }
  out = std::move(entry);
  return true;
}

}  // namespace keldrive
