// The formatted-NTFS, named-stream and raw carving fixtures unpack, and their truth tables
// agree with the image bytes wherever the truth says a file still lies whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/sha256.h"

namespace keldrive::testing {
namespace {

std::uint64_t Number(const std::string& field) { return std::stoull(field); }

std::string Sha256Of(const std::vector<std::uint8_t>& image, std::uint64_t offset,
                     std::uint64_t size) {
  if (offset > image.size() || size > image.size() - offset) return "beyond the image";
  return Sha256Hex({image.data() + offset, static_cast<std::size_t>(size)});
}

TEST(FixtureTruth, RawCarvingImageHoldsEveryFileAtItsOffset) {
  const auto image = LoadFixture("carve_raw/raw.img.gz");
  const auto rows = LoadTruthTable("carve_raw/truth.tsv");
  ASSERT_GE(rows.size(), 40u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 8u);
    const std::uint64_t offset = Number(row[1]);
    EXPECT_EQ(offset, Number(row[0]) * 512) << row[7];
    EXPECT_EQ(Sha256Of(image, offset, Number(row[3])), row[4]) << row[7];
  }
}

TEST(FixtureTruth, StreamsImageListsDeletedStreams) {
  EXPECT_EQ(LoadFixture("ntfs/streams.img.gz").size(), 16u << 20);
  int deleted_streams = 0;
  for (const auto& row : LoadTruthTable("ntfs/streams.tsv")) {
    ASSERT_EQ(row.size(), 8u);
    if (row[1] == "s" && row[2] == "yes") ++deleted_streams;
  }
  EXPECT_GE(deleted_streams, 5);
}

// Sector size of each image's old volume, from volumes.tsv.
std::map<std::string, std::uint64_t> OldSectorSizes() {
  std::map<std::string, std::uint64_t> sizes;
  for (const auto& row : LoadTruthTable("ntfs_formatted/volumes.tsv")) {
    if (row.size() == 10 && row[1] == "old") sizes[row[0]] = Number(row[4]);
  }
  return sizes;
}

class FormattedNtfsFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(FormattedNtfsFixture, SurvivingRecordsAndContiguousDataLieWhereTheTruthSays) {
  const std::string name = GetParam();
  const std::uint64_t sector = OldSectorSizes()[name];
  ASSERT_TRUE(sector == 512 || sector == 4096);
  const auto image = LoadFixture("ntfs_formatted/" + name + ".img.gz");
  const auto rows = LoadTruthTable("ntfs_formatted/" + name + ".tsv");
  ASSERT_GE(rows.size(), 40u);
  int records = 0;
  int streams = 0;
  int contents = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 13u);
    const std::string& path = row[2];
    if (row[11] == "yes") {
      const std::uint64_t at = Number(row[8]) * sector;
      ASSERT_LT(at + 4, image.size()) << path;
      EXPECT_EQ(std::string(image.begin() + static_cast<std::ptrdiff_t>(at),
                            image.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                "FILE")
          << path;
      ++records;
    }
    if (row[1] == "s") ++streams;
    if (row[7] != "no" && row[7] != "-") continue;  // resident or folder
    if (row[10] == "1" && row[12] == "yes") {
      EXPECT_EQ(Sha256Of(image, Number(row[9]) * sector, Number(row[4])), row[5]) << path;
      ++contents;
    }
  }
  EXPECT_GT(records, 0);
  EXPECT_GE(streams, 3);
  EXPECT_GE(contents, 5);
}

INSTANTIATE_TEST_SUITE_P(Images, FormattedNtfsFixture,
                         ::testing::Values("ntfs_reformatted", "ntfs_recluster",
                                           "ntfs_fragmented_mft", "ntfs4k_reformatted",
                                           "ntfs_overwritten_disk"));

}  // namespace
}  // namespace keldrive::testing
