#include "ntfs/file_record.h"

#include <gtest/gtest.h>

#include "ntfs/attribute.h"
#include "ntfs_builders.h"

namespace keldrive {
namespace {

using testing::Bytes;
using testing::RecordBuilder;

TEST(FileRecordHeader, ReadsTheFieldsTheEnginesUse) {
  Bytes record = RecordBuilder(77, 1024, record_flags::kInUse | record_flags::kDirectory)
                     .BaseRecord(12)
                     .Build();
  FileRecordHeader h;
  ASSERT_EQ(ParseFileRecordHeader(record, h), ParseStatus::kOk);
  EXPECT_EQ(h.recordNumber, 77u);
  EXPECT_TRUE(h.InUse());
  EXPECT_TRUE(h.IsDirectory());
  EXPECT_EQ(h.firstAttributeOffset, 0x38);
  EXPECT_EQ(h.bytesInUse, 0x40u);
  EXPECT_EQ(h.bytesAllocated, 1024u);
  EXPECT_EQ(h.baseRecord, 12u);
  EXPECT_EQ(h.updateSequenceNumber, 7);

  EXPECT_EQ(ParseFileRecordHeader(std::span(record).first(0x31), h), ParseStatus::kDamaged);
  record[0] = 'B';  // "BAAD", or any other structure
  EXPECT_EQ(ParseFileRecordHeader(record, h), ParseStatus::kNotThisStructure);
  EXPECT_FALSE(IsFileRecord(record));
  EXPECT_FALSE(IsFileRecord(std::span(record).first(3)));
}

// A record whose every 512-byte block ends in a byte pattern the fix-ups must restore.
Bytes PatternedRecord(std::uint32_t recordSize) {
  Bytes value(recordSize - 0x80);
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return RecordBuilder(40, recordSize).Add(testing::ResidentAttribute(0x80, value)).Build();
}

TEST(UpdateSequence, RestoresTheLastWordOfEvery512ByteBlock) {
  for (const std::uint32_t size : {1024u, 4096u}) {
    const Bytes onDisk = PatternedRecord(size);
    Bytes record = onDisk;
    ASSERT_EQ(ApplyUpdateSequence(record, size), ParseStatus::kOk);
    // A 4096-byte record has eight fix-ups, not one: its array holds eight saved words.
    for (std::uint32_t i = 1; i <= size / 512; ++i) {
      const std::size_t end = i * 512;
      EXPECT_EQ(onDisk[end - 2], 0x07) << size << " block " << i << " carries the number";
      EXPECT_EQ(record[end - 2], onDisk[0x30 + 2 * i]) << size << " block " << i;
      EXPECT_EQ(record[end - 1], onDisk[0x31 + 2 * i]) << size << " block " << i;
    }
    // Exactly the fix-up words changed.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < size; ++i) changed += record[i] != onDisk[i];
    EXPECT_LE(changed, 2 * size / 512) << size;
  }
}

// NTFS 1.x and 3.0 put the update sequence at 0x2A, where their shorter header ends; the
// offset at 0x04 says where. An offset the first block cannot hold makes no record.
TEST(UpdateSequence, IsTakenWhereTheHeaderPutsIt) {
  Bytes value(600);
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const Bytes onDisk = RecordBuilder(40, 1024)
                           .UpdateSequenceAt(0x2A)
                           .Add(testing::ResidentAttribute(0x80, value))
                           .Build();
  FileRecordHeader h;
  ASSERT_EQ(ParseFileRecordHeader(onDisk, h), ParseStatus::kOk);
  EXPECT_EQ(h.updateSequenceOffset, 0x2A);
  EXPECT_EQ(h.updateSequenceNumber, 7);
  EXPECT_FALSE(h.HasRecordNumber());
  EXPECT_EQ(h.recordNumber, 0u) << "0x2C holds the first saved word, not a number";
  Bytes record = onDisk;
  ASSERT_EQ(ApplyUpdateSequence(record, 1024), ParseStatus::kOk);
  EXPECT_EQ(record[510], onDisk[0x2C]);
  EXPECT_EQ(record[1022], onDisk[0x2E]);

  for (const std::uint64_t bad : {0x00u, 0x31u, 0x1FEu, 0xFFFFu}) {
    Bytes broken = onDisk;
    testing::Put16(broken, 0x04, bad);
    const Bytes before = broken;
    EXPECT_EQ(ParseFileRecordHeader(broken, h), ParseStatus::kDamaged) << bad;
    EXPECT_EQ(ApplyUpdateSequence(broken, 1024), ParseStatus::kDamaged) << bad;
    EXPECT_EQ(broken, before) << bad;
  }
}

TEST(UpdateSequence, NeverWritesOutsideTheRecordBuffer) {
  const Bytes onDisk = PatternedRecord(1024);
  struct Case {
    const char* what;
    std::size_t bufferBytes;
    std::uint32_t recordSize;
  };
  const Case cases[] = {
      {"buffer shorter than the record", 1000, 1024},
      {"a 16 KiB record in an 8 KiB buffer", 8192, 16384},
      {"record size not a whole number of blocks", 1024, 1000},
      {"record size 0", 1024, 0},
  };
  for (const Case& c : cases) {
    Bytes buffer = onDisk;
    buffer.resize(c.bufferBytes);
    const Bytes before = buffer;
    EXPECT_EQ(ApplyUpdateSequence(buffer, c.recordSize), ParseStatus::kDamaged) << c.what;
    EXPECT_EQ(buffer, before) << c.what << ": nothing written";
  }
}

TEST(FileRecord, AttributeAreaEndsAtTheSmallestBound) {
  FileRecordHeader h;
  h.bytesInUse = 600;
  EXPECT_EQ(AttributeAreaEnd(h, 1024, 8192), 600u);
  h.bytesInUse = 5000;
  EXPECT_EQ(AttributeAreaEnd(h, 1024, 8192), 1024u) << "bytes in use beyond the record";
  EXPECT_EQ(AttributeAreaEnd(h, 4096, 2000), 2000u) << "a record cut short by its buffer";
}

}  // namespace
}  // namespace keldrive
