#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "ntfs/file_record.h"

namespace keldrive::testing {

// NTFS structures written byte by byte, as a driver would lay them out, for tests that
// need a record or a volume with one thing wrong in it.

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint64_t value);
void Put32(Bytes& b, std::size_t at, std::uint64_t value);
void Put64(Bytes& b, std::size_t at, std::uint64_t value);

// One run for EncodeRuns: a cluster count and the delta to the previous run's first
// cluster; `sparse` leaves out the offset field.
struct Run {
  std::uint64_t count = 0;
  std::int64_t delta = 0;
  bool sparse = false;
};

// A run list with the smallest fields that hold each value, ended by a 0 byte.
Bytes EncodeRuns(std::initializer_list<Run> runs);
Bytes EncodeRuns(const std::vector<Run>& runs);

Bytes ResidentAttribute(std::uint32_t type, const Bytes& value, const std::u16string& name = u"");

struct NonResident {
  std::uint32_t type = 0x80;
  Bytes runList;
  std::uint64_t lowestVcn = 0;
  std::uint64_t highestVcn = 0;
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::u16string name;
};
Bytes NonResidentAttribute(const NonResident& a);

// A file name value with the given parent, name and namespace.
Bytes FileNameValue(std::uint32_t parent, const std::u16string& name, std::uint8_t nameSpace = 1,
                    std::uint64_t realSize = 0);

// One attribute-list entry; `length` 0 takes the true length.
Bytes AttributeListEntryBytes(std::uint32_t type, std::uint64_t startingVcn, std::uint64_t record,
                              const std::u16string& name = u"", std::uint16_t length = 0);

// A file record of `recordSize` bytes: header, the attributes in order from 0x38, the
// end marker, and the update-sequence protection of every 512-byte block applied as on
// disk (the last word of each block saved in the array and replaced by the number).
class RecordBuilder {
 public:
  explicit RecordBuilder(std::uint32_t number, std::uint32_t recordSize = 1024,
                         std::uint16_t flags = record_flags::kInUse);

  RecordBuilder& Add(const Bytes& attribute);
  RecordBuilder& BaseRecord(std::uint64_t base);
  // Where the header puts the update sequence: 0x30, or 0x2A as NTFS 1.x and 3.0 did,
  // whose shorter header holds no record number.
  RecordBuilder& UpdateSequenceAt(std::uint16_t offset);

  // The record as stored on disk.
  Bytes Build() const;

 private:
  std::uint32_t number_;
  std::uint32_t recordSize_;
  std::uint16_t flags_;
  std::uint64_t base_ = 0;
  std::uint16_t sequenceOffset_ = 0x30;
  std::vector<Bytes> attributes_;
};

// A volume image in memory: a boot sector and MFT records at their places.
struct VolumeBuilder {
  VolumeBuilder(std::size_t bytes, std::uint16_t bytesPerSector, std::uint8_t sectorsPerCluster,
                std::uint64_t mftCluster);

  // Stores a record at sector `sector` (of the volume's sector size).
  void PutRecord(std::uint64_t sector, const Bytes& record);
  void PutBytes(std::uint64_t offset, const Bytes& bytes);

  Bytes image;
  std::uint16_t bytesPerSector;
  std::uint8_t sectorsPerCluster;
};

}  // namespace keldrive::testing
