#include "app/scan_history_entry.h"

#include <gtest/gtest.h>

#include <array>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

using Block = std::array<std::uint8_t, kScanHistoryEntrySize>;

ScanHistoryEntry SampleEntry() {
  ScanHistoryEntry entry;
  entry.diskNumber = -2;
  entry.firstSector = 0x0102030405060708;
  entry.sectorCount = 16;
  entry.resume = {24, 32, 40, 48, 56};
  entry.freeBytes = 64;
  entry.imageWriteTime = 72;
  entry.imagePath = "/m\xC3\xA9\x64ia/\xF0\x9F\x98\x80.img";
  entry.scanFolder = "/root/ScanLog/7/";
  return entry;
}

TEST(ScanHistoryEntry, FieldsSitAtTheirOffsets) {
  Block block{};
  ASSERT_EQ(SerializeScanHistoryEntry(SampleEntry(), block), result::kSuccess);
  ByteReader reader(block);
  EXPECT_EQ(reader.le32At(0), 0xFFFFFFFEu);
  EXPECT_EQ(reader.le32At(4), 0u) << "unused";
  EXPECT_EQ(reader.le64At(8), 0x0102030405060708u);
  for (std::size_t offset = 16; offset <= 72; offset += 8) {
    EXPECT_EQ(reader.le64At(offset), offset) << offset;
  }
  // UTF-16LE paths: "/mé" ... with the emoji as a surrogate pair, then a zero.
  EXPECT_EQ(reader.le16At(80), u'/');
  EXPECT_EQ(reader.le16At(84), 0x00E9);
  EXPECT_EQ(reader.le16At(80 + 2 * 7), 0xD83D);
  EXPECT_EQ(reader.le16At(80 + 2 * 8), 0xDE00);
  EXPECT_EQ(reader.le16At(80 + 2 * 13), 0u);
  EXPECT_EQ(reader.le16At(600), u'/');
  EXPECT_EQ(reader.le16At(600 + 2 * 16), 0u);
  EXPECT_EQ(reader.le16At(1118), 0u);

  ScanHistoryEntry parsed;
  ASSERT_TRUE(ParseScanHistoryEntry(block, parsed));
  EXPECT_EQ(parsed, SampleEntry());
}

TEST(ScanHistoryEntry, PathsMustFitWithTheirTerminator) {
  ScanHistoryEntry entry;
  Block block{};
  entry.scanFolder = std::string(259, 'a');
  EXPECT_EQ(SerializeScanHistoryEntry(entry, block), result::kSuccess);
  entry.scanFolder = std::string(260, 'a');
  EXPECT_EQ(SerializeScanHistoryEntry(entry, block), result::kFilenameTooLong);
  entry.scanFolder = "\xFF";
  EXPECT_EQ(SerializeScanHistoryEntry(entry, block), result::kInvalidName);
}

TEST(ScanHistoryEntry, DamagedBlocksAreRefused) {
  Block good{};
  ASSERT_EQ(SerializeScanHistoryEntry(SampleEntry(), good), result::kSuccess);
  ScanHistoryEntry out;

  Block unterminated = good;
  for (std::size_t i = 600; i < 1120; i += 2) unterminated[i] = 'x';
  EXPECT_FALSE(ParseScanHistoryEntry(unterminated, out));

  Block lonelySurrogate = good;
  lonelySurrogate[600] = 0x00;
  lonelySurrogate[601] = 0xD8;
  EXPECT_FALSE(ParseScanHistoryEntry(lonelySurrogate, out));

  EXPECT_FALSE(ParseScanHistoryEntry(std::span(good).first(1119), out));
  EXPECT_EQ(out, ScanHistoryEntry{}) << "left unchanged";
}

}  // namespace
}  // namespace keldrive
