#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/parse_status.h"

namespace keldrive {

// "FILE" read as a little-endian 32-bit value.
inline constexpr std::uint32_t kFileRecordSignature = 0x454C4946;
// The header up to the update sequence number; the array of saved sector ends follows it.
inline constexpr std::size_t kFileRecordHeaderBytes = 0x32;
// Update-sequence fix-ups protect every 512-byte block of a record, whatever the sector
// size: a 4096-byte record carries eight of them.
inline constexpr std::uint32_t kUpdateSequenceStride = 512;

namespace record_flags {
inline constexpr std::uint16_t kInUse = 0x0001;
inline constexpr std::uint16_t kDirectory = 0x0002;
}  // namespace record_flags

// The MFT file record header fields the engines use.
struct FileRecordHeader {
  std::uint16_t firstAttributeOffset = 0;  // 0x14
  std::uint16_t flags = 0;                 // 0x16
  std::uint32_t bytesInUse = 0;            // 0x18
  std::uint32_t bytesAllocated = 0;        // 0x1C
  std::uint64_t baseRecord = 0;            // 0x20: 48-bit record number; 0 in a base record
  std::uint32_t recordNumber = 0;          // 0x2C: this record's own number
  std::uint16_t updateSequenceNumber = 0;  // 0x30

  bool InUse() const { return (flags & record_flags::kInUse) != 0; }
  bool IsDirectory() const { return (flags & record_flags::kDirectory) != 0; }
};

// Whether the bytes start with "FILE".
bool IsFileRecord(std::span<const std::uint8_t> bytes);

// Decodes a record header: kDamaged when the bytes are shorter than the header,
// kNotThisStructure without "FILE".
ParseStatus ParseFileRecordHeader(std::span<const std::uint8_t> bytes, FileRecordHeader& out);

// Puts back the saved last word of every 512-byte block of a record of `recordSize` bytes
// (array entries from 0x32 on). The words found there are not compared with the update
// sequence number: a torn record is still read. Writes nothing and gives kDamaged when
// `record` is shorter than `recordSize` or the size is not a whole number of blocks.
ParseStatus ApplyUpdateSequence(std::span<std::uint8_t> record, std::uint32_t recordSize);

// Where the attributes of a record end: the smallest of its bytes in use, the record size
// and the bytes at hand.
std::size_t AttributeAreaEnd(const FileRecordHeader& header, std::uint32_t recordSize,
                             std::size_t bufferBytes);

}  // namespace keldrive
