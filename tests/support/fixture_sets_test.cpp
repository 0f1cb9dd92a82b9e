#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/sha256.h"

// The disk, formatted-volume and live-picture fixtures agree with their ground truth:
// each image has the size the truth gives, and every file the truth places at a sector
// lies there byte for byte. A failure here means a fixture and its truth went apart.

namespace keldrive::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string ShaAt(const std::vector<std::uint8_t>& image, std::uint64_t offset,
                  std::uint64_t size) {
  if (offset > image.size() || size > image.size() - offset) return "out of the image";
  return Sha256Hex(std::span(image).subspan(offset, size));
}

TEST(FixtureSets, DiskImagesHoldEveryFileWhereTheTruthSays) {
  const Rows layout = LoadTruthTable("disks/volumes.tsv");
  const Rows files = LoadTruthTable("disks/files.tsv");
  ASSERT_EQ(layout.size(), 11u);
  ASSERT_EQ(files.size(), 75u);
  for (const std::string image : {"mbr", "gpt", "gpt4k"}) {
    SCOPED_TRACE(image);
    const auto bytes = LoadFixture("disks/" + image + ".img.gz");
    std::uint64_t sector = 0;
    int partitions = 0;
    int gaps = 0;
    for (const auto& row : layout) {
      ASSERT_EQ(row.size(), 12u);
      if (row[0] != image) continue;
      sector = std::stoull(row[2]);
      EXPECT_EQ(bytes.size(), sector * std::stoull(row[3]));
      if (row[4] == "gap") ++gaps;
      if (row[4] != "partition") continue;
      ++partitions;
      const std::uint64_t boot = std::stoull(row[6]) * sector;
      ASSERT_LT(boot + 511, bytes.size());
      EXPECT_EQ(bytes[boot + 510], 0x55);
      EXPECT_EQ(bytes[boot + 511], 0xAA);
    }
    EXPECT_EQ(partitions, 2);
    EXPECT_EQ(gaps, image == "gpt4k" ? 0 : 2);
    int placed = 0;
    for (const auto& row : files) {
      ASSERT_EQ(row.size(), 13u);
      if (row[0] != image || row[5] != "file" || row[10] == "-") continue;
      EXPECT_EQ(ShaAt(bytes, std::stoull(row[10]) * sector, std::stoull(row[7])), row[8])
          << row[6];
      ++placed;
    }
    // Files on 4 KiB NTFS records stay resident up to a larger size.
    EXPECT_EQ(placed, image == "gpt4k" ? 12 : 14);
  }
}

TEST(FixtureSets, FormattedImagesKeepTheDataAndCaseBitsTheTruthClaims) {
  const Rows volumes = LoadTruthTable("fat_formatted/volumes.tsv");
  const Rows files = LoadTruthTable("fat_formatted/files.tsv");
  ASSERT_EQ(volumes.size(), 8u);
  ASSERT_GT(files.size(), 150u);
  for (const std::string image : {"fat32_reformatted", "fat16_reformatted", "fat32_recluster",
                                  "fat32_overwritten_disk"}) {
    SCOPED_TRACE(image);
    const auto bytes = LoadFixture("fat_formatted/" + image + ".img.gz");
    ASSERT_FALSE(bytes.empty());
    for (const auto& row : volumes) {
      ASSERT_EQ(row.size(), 17u);
      if (row[0] != image) continue;
      EXPECT_LE((std::stoull(row[2]) + std::stoull(row[14])) * 512, bytes.size());
    }
    int intact = 0;
    int fragmented = 0;
    for (const auto& row : files) {
      ASSERT_EQ(row.size(), 20u);
      if (row[0] != image) continue;
      if (row[15] == "yes") {
        // The short entry still carries its name (bytes 1..10) and its NT case bits.
        const std::uint64_t sector = std::stoull(row[10]) * 512;
        bool found = false;
        for (std::uint64_t at = sector; at + 32 <= sector + 512 && at + 32 <= bytes.size();
             at += 32) {
          const std::string name(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + 11));
          if (name != row[12].substr(1) || bytes[at + 11] == 0x0F) continue;
          found = true;
          EXPECT_EQ(std::stoi(row[13], nullptr, 16), bytes[at + 12]) << row[4];
        }
        EXPECT_TRUE(found) << row[4];
      }
      if (row[2] != "file" || row[9] == "-") continue;
      const std::string got = ShaAt(bytes, std::stoull(row[9]) * 512, std::stoull(row[5]));
      if (row[17] == "yes") {
        EXPECT_EQ(got, row[6]) << row[4];
        ++intact;
      } else if (row[16] == "yes") {
        EXPECT_NE(got, row[6]) << row[4];
        ++fragmented;
      }
    }
    EXPECT_GT(intact, 10);
    // On the overwritten disk the second fragmented file lost its data to the new volume.
    EXPECT_EQ(fragmented, image == "fat32_overwritten_disk" ? 1 : 2);
  }
}

TEST(FixtureSets, LivePhotosLieWhereTheTruthSays) {
  const Rows files = LoadTruthTable("fat/live_photos_truth.tsv");
  ASSERT_EQ(files.size(), 13u);
  const auto bytes = LoadFixture("fat/live_photos.img.gz");
  EXPECT_EQ(bytes.size(), 34816u * 1024);
  int deleted = 0;
  for (const auto& row : files) {
    ASSERT_EQ(row.size(), 10u);
    EXPECT_EQ(ShaAt(bytes, std::stoull(row[7]) * 512, std::stoull(row[2])), row[3]) << row[0];
    EXPECT_EQ(row[9] == "yes", row[1] == "deleted") << row[0];
    deleted += row[1] == "deleted";
  }
  EXPECT_EQ(deleted, 4);
}

}  // namespace
}  // namespace keldrive::testing
