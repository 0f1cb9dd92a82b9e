#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "ntfs/parse_status.h"

namespace keldrive {

// "FILE" read as a little-endian 32-bit value.
inline constexpr std::uint32_t kFileRecordSignature = 0x454C4946;
// The header up to the update sequence number; the array of saved sector ends follows it.
inline constexpr std::size_t kFileRecordHeaderBytes = 0x32;
// Where the header puts the update sequence: 0x30 since NTFS 3.1, 0x2A in the shorter
// header of NTFS 1.x and 3.0, which has no record number of its own.
inline constexpr std::uint16_t kUpdateSequenceOffset31 = 0x30;
inline constexpr std::uint16_t kUpdateSequenceOffset30 = 0x2A;
// Update-sequence fix-ups protect every 512-byte block of a record, whatever the sector
// size: a 4096-byte record carries eight of them.
inline constexpr std::uint32_t kUpdateSequenceStride = 512;

namespace record_flags {
inline constexpr std::uint16_t kInUse = 0x0001;
inline constexpr std::uint16_t kDirectory = 0x0002;
}  // namespace record_flags

// The MFT file record header fields the engines use.
struct FileRecordHeader {
  std::uint16_t updateSequenceOffset = 0;  // 0x04
  std::uint16_t firstAttributeOffset = 0;  // 0x14
  std::uint16_t flags = 0;                 // 0x16
  std::uint32_t bytesInUse = 0;            // 0x18
  std::uint32_t bytesAllocated = 0;        // 0x1C
  std::uint64_t baseRecord = 0;            // 0x20: 48-bit record number; 0 in a base record
  std::uint32_t recordNumber = 0;          // 0x2C: this record's own number; 0 before NTFS 3.1
  std::uint16_t updateSequenceNumber = 0;  // at updateSequenceOffset

  bool InUse() const { return (flags & record_flags::kInUse) != 0; }
  bool IsDirectory() const { return (flags & record_flags::kDirectory) != 0; }
  // Whether the header carries the record's own number (NTFS 3.1 and later).
  bool HasRecordNumber() const { return updateSequenceOffset >= kUpdateSequenceOffset31; }
};

// Whether the bytes start with "FILE".
bool IsFileRecord(std::span<const std::uint8_t> bytes);

// Decodes a record header: kDamaged when the bytes are shorter than the header or the
// update-sequence offset (0x04) is not one the header can hold, kNotThisStructure without
// "FILE".
ParseStatus ParseFileRecordHeader(std::span<const std::uint8_t> bytes, FileRecordHeader& out);

// Where a record's update sequence lies, from the offset at 0x04: an even offset from 0x2A
// on whose array of `blocks` entries ends inside the first block. Nothing for any other.
std::optional<std::size_t> UpdateSequenceOffset(std::span<const std::uint8_t> record,
                                                std::uint32_t blocks);

// Puts back the saved last word of every 512-byte block of a record of `recordSize` bytes
// (array entries after the update sequence number, wherever the header puts it). The words found
// there are not compared with the update sequence number: a torn record is still read. Writes
// nothing and gives kDamaged when `record` is shorter than `recordSize` or the size is not a whole
// number of blocks.
ParseStatus ApplyUpdateSequence(std::span<std::uint8_t> record, std::uint32_t recordSize);

// Where the attributes of a record end: the smallest of its bytes in use, the record size
// and the bytes at hand.
std::size_t AttributeAreaEnd(const FileRecordHeader& header, std::uint32_t recordSize,
                             std::size_t bufferBytes);

}  // namespace keldrive
