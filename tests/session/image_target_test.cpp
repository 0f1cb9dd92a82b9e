#include "session/image_target.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/temp_dir.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;
using Kind = ImageSource::Kind;
using Problem = ImageTargetProblem;

// A target volume as the fake queries describe it.
struct Volume {
  std::string fileSystem = "NTFS";
  std::optional<std::uint64_t> freeBytes = 100 * kGiB;  // nothing: the query fails
  std::string onDevice;                                 // the device node it lies on
  platform::PathKind targetKind = platform::PathKind::kMissing;
  bool targetIsSource = false;
  std::uint64_t targetBytes = 0;  // an existing target's size
};

ImageTargetQueries FakeQueries(const Volume& volume) {
  ImageTargetQueries queries;
  queries.fileSystemName = [volume](const std::string&, std::string& name) {
    name = volume.fileSystem;
    return volume.fileSystem.empty() ? result::kPathNotFound : result::kSuccess;
  };
  queries.freeBytes = [volume](const std::string&, std::uint64_t& bytes) {
    bytes = volume.freeBytes.value_or(0);
    return volume.freeBytes ? result::kSuccess : result::kAccessDenied;
  };
  // The fake disk sdb holds sdb1 and sdb2.
  queries.folderIsOnDevice = [volume](const std::string&, const std::string& device) {
    return !volume.onDevice.empty() &&
           (device == volume.onDevice || device == volume.onDevice.substr(0, 8));
  };
  queries.pathKind = [volume](const std::string&) { return volume.targetKind; };
  queries.sameFile = [volume](const std::string&, const std::string&) {
    return volume.targetIsSource;
  };
  queries.fileBytes = [volume](const std::string&) { return volume.targetBytes; };
  return queries;
}

TEST(ImageTarget, ChecksInOrderAndAsTheLimitsOfEachFileSystemAllow) {
  const ImageSource partition{Kind::kPartition, "/dev/sdb1", 3 * kGiB};
  const ImageSource disk{Kind::kWholeDisk, "/dev/sdb", 3 * kGiB};
  const ImageSource file{Kind::kImageFile, "/images/a.img", 3 * kGiB};
  const auto sized = [](ImageSource source, std::uint64_t bytes) {
    source.bytes = bytes;
    return source;
  };
  struct Case {
    const char* name;
    ImageSource source;
    Volume volume;
    Problem expected;
  };
  const Case cases[] = {
      {"3 GiB onto NTFS", partition, {}, Problem::kNone},
      {"onto the partition copied", partition, {.onDevice = "/dev/sdb1"}, Problem::kOnSourceVolume},
      {"onto another partition of its disk", partition, {.onDevice = "/dev/sdb2"}, Problem::kNone},
      {"a disk onto one of its partitions",
       disk,
       {.onDevice = "/dev/sdb2"},
       Problem::kOnSourceVolume},
      {"a disk onto another disk", disk, {.onDevice = "/dev/sdc1"}, Problem::kNone},
      {"an image file onto the volume it is on", file, {.onDevice = "/dev/sdb1"}, Problem::kNone},
      {"the source image itself",
       file,
       {.targetKind = platform::PathKind::kRegularFile, .targetIsSource = true},
       Problem::kIsSource},
      {"a folder", file, {.targetKind = platform::PathKind::kDirectory}, Problem::kNotAFile},
      {"a device", file, {.targetKind = platform::PathKind::kBlockDevice}, Problem::kNotAFile},
      {"3 GiB onto FAT32", partition, {.fileSystem = "FAT32"}, Problem::kNone},
      {"5 GiB onto FAT32",
       sized(partition, 5 * kGiB),
       {.fileSystem = "FAT32"},
       Problem::kTooLargeForFat32},
      {"4 GiB exactly onto FAT32",
       sized(partition, 4 * kGiB),
       {.fileSystem = "fat32"},
       Problem::kTooLargeForFat32},
      {"4 GiB less a byte onto FAT32",
       sized(partition, 4 * kGiB - 1),
       {.fileSystem = "FAT32"},
       Problem::kNone},
      {"3 GiB onto FAT16", partition, {.fileSystem = "FAT"}, Problem::kTooLargeForFat},
      {"2 GiB onto FAT16", sized(partition, 2 * kGiB), {.fileSystem = "FAT"}, Problem::kNone},
      {"5 GiB onto exFAT", sized(partition, 5 * kGiB), {.fileSystem = "exFAT"}, Problem::kNone},
      {"the partition check comes first",
       sized(partition, 5 * kGiB),
       {.fileSystem = "FAT32", .onDevice = "/dev/sdb1"},
       Problem::kOnSourceVolume},
      {"the file system check comes before space",
       sized(partition, 5 * kGiB),
       {.fileSystem = "FAT32", .freeBytes = 1},
       Problem::kTooLargeForFat32},
      {"free space exactly the source size",
       partition,
       {.freeBytes = 3 * kGiB},
       Problem::kNotEnoughSpace},
      {"one byte more free than the source",
       partition,
       {.freeBytes = 3 * kGiB + 1},
       Problem::kNone},
      {"free space unknown", partition, {.freeBytes = std::nullopt}, Problem::kNone},
      {"file system unknown", sized(partition, 5 * kGiB), {.fileSystem = ""}, Problem::kNone},
      {"an old image to replace gives its space back",
       partition,
       {.freeBytes = 2 * kGiB,
        .targetKind = platform::PathKind::kRegularFile,
        .targetBytes = kGiB + 1},
       Problem::kNone},
      {"but not more than it holds",
       partition,
       {.freeBytes = 2 * kGiB, .targetKind = platform::PathKind::kRegularFile, .targetBytes = kGiB},
       Problem::kNotEnoughSpace},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckImageTarget(c.source, "/target/copy.img", FakeQueries(c.volume)), c.expected)
        << c.name;
  }
  // The map is small: only where it lies matters.
  EXPECT_EQ(CheckImageMapPath(sized(partition, 5 * kGiB), "/target/copy.img.map",
                              FakeQueries({.fileSystem = "FAT", .freeBytes = 0})),
            Problem::kNone);
  EXPECT_EQ(CheckImageMapPath(disk, "/target/copy.img.map", FakeQueries({.onDevice = "/dev/sdb1"})),
            Problem::kOnSourceVolume);
}

TEST(ImageTarget, AsksThisMachine) {
  testing::TempDir dir;
  const std::string source = dir.File("source.img");
  testing::WriteFile(source, std::string(4096, 'x'));
  const ImageSource image{Kind::kImageFile, source, 4096};
  const ImageTargetQueries queries = SystemImageTargetQueries();
  EXPECT_EQ(CheckImageTarget(image, dir.File("copy.img"), queries), Problem::kNone);
  EXPECT_EQ(CheckImageTarget(image, source, queries), Problem::kIsSource);
  EXPECT_EQ(CheckImageTarget(image, dir.path().string(), queries), Problem::kNotAFile);
  const ImageSource huge{Kind::kImageFile, source, ~0ull};
  EXPECT_EQ(CheckImageTarget(huge, dir.File("copy.img"), queries), Problem::kNotEnoughSpace);
}

}  // namespace
}  // namespace keldrive
