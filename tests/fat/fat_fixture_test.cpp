// Checks the FAT fixture images against their ground truth by reading clusters directly,
// so that the truth tables can be relied on by the tests of the FAT engines.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/byte_reader.h"
#include "disk/file_system_detection.h"
#include "support/fixtures.h"
#include "support/sha256.h"

namespace keldrive {
namespace {

// Columns of the *_truth.tsv files.
enum Column { kPath, kDeleted, kKind, kSize, kSha256, kFirstCluster, kClusters, kContiguousOk };

// Just enough of a FAT volume to follow cluster chains.
class FixtureVolume {
 public:
  explicit FixtureVolume(std::vector<std::uint8_t> image) : image_(std::move(image)) {
    ByteReader boot(image_);
    bytesPerSector_ = boot.le16At(11);
    sectorsPerCluster_ = boot.u8At(13);
    const std::uint32_t reserved = boot.le16At(14);
    const std::uint32_t fats = boot.u8At(16);
    const std::uint32_t rootEntries = boot.le16At(17);
    const std::uint32_t total = boot.le32At(32) != 0 ? boot.le32At(32) : boot.le16At(19);
    const bool fat32 = IsFat32BootSector(image_);
    const std::uint32_t fatSectors = fat32 ? boot.le32At(36) : boot.le16At(22);
    const auto type = boot.at(54, 8).bytes(8);
    bits_ = fat32 ? 32 : (std::string(type.begin(), type.end()) == "FAT12   " ? 12 : 16);
    EXPECT_TRUE(boot.ok() && bytesPerSector_ != 0 && sectorsPerCluster_ != 0);
    fatStart_ = std::size_t{reserved} * bytesPerSector_;
    dataStart_ = (reserved + fats * fatSectors +
                  (rootEntries * 32 + bytesPerSector_ - 1) / bytesPerSector_) *
                 std::size_t{bytesPerSector_};
    clusterCount_ =
        static_cast<std::uint32_t>((total - dataStart_ / bytesPerSector_) / sectorsPerCluster_);
  }

  std::size_t ClusterBytes() const { return std::size_t{sectorsPerCluster_} * bytesPerSector_; }

  std::uint32_t Entry(std::uint32_t cluster) const {
    ByteReader fat = ByteReader(image_).at(fatStart_);
    if (bits_ == 32) return fat.le32At(cluster * 4u) & 0x0FFFFFFF;
    if (bits_ == 16) return fat.le16At(cluster * 2u);
    const std::uint16_t pair = fat.le16At(cluster * 3u / 2);
    return (cluster & 1) != 0 ? pair >> 4 : pair & 0xFFFu;
  }

  bool IsEndOfChain(std::uint32_t entry) const {
    return entry >= (bits_ == 32 ? 0x0FFFFFF8u : bits_ == 16 ? 0xFFF8u : 0xFF8u);
  }

  bool IsCluster(std::uint32_t cluster) const {
    return cluster >= 2 && cluster < clusterCount_ + 2;
  }

  // The chain of a live file, as runs "a-b,c".
  std::string ChainRuns(std::uint32_t first) const {
    std::string runs;
    std::uint32_t runStart = first, previous = first;
    const auto close = [&] {
      if (!runs.empty()) runs += ",";
      runs += std::to_string(runStart);
      if (previous != runStart) runs += "-" + std::to_string(previous);
    };
    std::uint32_t c = first;
    for (std::uint32_t steps = 0; IsCluster(c) && steps <= clusterCount_; ++steps) {
      if (c != first && c != previous + 1) {
        close();
        runStart = c;
      }
      previous = c;
      const std::uint32_t next = Entry(c);
      if (next == 0 || IsEndOfChain(next)) break;
      c = next;
    }
    close();
    return runs;
  }

  // Reads `size` bytes from `first` on: set entries are followed, and a free entry goes on
  // with the next cluster while that one is free too. Empty when the clusters run out.
  std::vector<std::uint8_t> Read(std::uint32_t first, std::size_t size) const {
    std::vector<std::uint8_t> out;
    std::uint32_t c = first;
    while (out.size() < size) {
      if (!IsCluster(c)) return {};
      const std::size_t offset = dataStart_ + std::size_t{c - 2} * ClusterBytes();
      const std::size_t take = std::min(ClusterBytes(), size - out.size());
      if (offset + take > image_.size()) return {};
      out.insert(out.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset),
                 image_.begin() + static_cast<std::ptrdiff_t>(offset + take));
      const std::uint32_t entry = Entry(c);
      if (entry == 0) {
        c = IsCluster(c + 1) && Entry(c + 1) == 0 ? c + 1 : 0;
      } else {
        c = IsEndOfChain(entry) ? 0 : entry;
      }
    }
    return out;
  }

 private:
  std::vector<std::uint8_t> image_;
  std::uint32_t bytesPerSector_ = 0;
  std::uint32_t sectorsPerCluster_ = 0;
  int bits_ = 0;
  std::size_t fatStart_ = 0;
  std::size_t dataStart_ = 0;
  std::uint32_t clusterCount_ = 0;
};

class FatFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(FatFixture, GroundTruthHoldsOnTheImage) {
  const std::string name = GetParam();
  auto image = testing::LoadFixture("fat/" + name + ".img.gz");
  ASSERT_GE(image.size(), kClassifyBytes);
  EXPECT_EQ(ClassifyFileSystem(std::span(image).first(kClassifyBytes)), FileSystemKind::kFat);
  EXPECT_EQ(IsFat32BootSector(image), name == "fat32" || name == "demo");

  const FixtureVolume volume(std::move(image));
  const auto rows = testing::LoadTruthTable("fat/" + name + "_truth.tsv");
  ASSERT_GT(rows.size(), 20u);
  int liveFiles = 0, recoverable = 0, lost = 0;
  for (const auto& row : rows) {
    ASSERT_GE(row.size(), 8u);
    if (row[kKind] != "file") continue;
    SCOPED_TRACE(row[kPath]);
    const auto first = static_cast<std::uint32_t>(std::stoul(row[kFirstCluster]));
    const std::size_t size = std::stoul(row[kSize]);
    const auto content = volume.Read(first, size);
    const bool intact = content.size() == size && testing::Sha256Hex(content) == row[kSha256];
    if (row[kDeleted] == "no") {
      ++liveFiles;
      EXPECT_TRUE(intact);
      if (size != 0) {
        EXPECT_EQ(volume.ChainRuns(first), row[kClusters]);
      }
    } else {
      (row[kContiguousOk] == "yes" ? recoverable : lost)++;
      EXPECT_EQ(intact, row[kContiguousOk] == "yes");
    }
  }
  EXPECT_GT(liveFiles, 0);
  EXPECT_GT(recoverable, 0);
  if (name != "demo") {
    EXPECT_GT(lost, 0) << "the overwritten and fragmented files";
  }
}

INSTANTIATE_TEST_SUITE_P(Images, FatFixture, ::testing::Values("fat12", "fat16", "fat32", "demo"),
                         [](const auto& image) { return std::string(image.param); });

}  // namespace
}  // namespace keldrive
