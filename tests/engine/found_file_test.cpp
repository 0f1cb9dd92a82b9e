#include "engine/found_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "engine/cluster_address.h"

namespace keldrive {
namespace {

FoundFile Sample() {
  FoundFile f;
  f.driveLetter = u'E';
  f.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalFat);
  f.isFolder = 1;
  f.isDeleted = 2;
  f.contentOk = 3;
  f.recordNumber = 0x01020304;
  f.startCluster = 0x05060708;
  f.clusterBytes = 0x090A0B0C;
  f.created = 0x1112131415161718;
  f.accessed = 0x2122232425262728;
  f.modified = 0x3132333435363738;
  f.size = 0x4142434445464748;
  f.dataAreaSector = 0x5152535455565758;
  f.entrySector = 0x6162636465666768;
  f.volumeStartSector = 0x7172737475767778;
  f.SetName("Résumé.docx");
  return f;
}

TEST(FoundFile, PinsEveryFieldOffsetLittleEndian) {
  std::array<std::uint8_t, kFoundFileBytes> bytes{};
  bytes.fill(0xEE);
  SerializeFoundFile(Sample(), bytes);
  struct Field {
    std::size_t offset;
    std::size_t width;
    std::uint64_t value;
  };
  const Field fields[] = {
      {0, 2, u'E'},
      {2, 4, 3},
      {6, 4, 1},
      {10, 4, 2},
      {14, 4, 3},
      {18, 4, 0x01020304},
      {22, 4, 0x05060708},
      {26, 4, 0x090A0B0C},
      {30, 8, 0x1112131415161718},
      {38, 8, 0x2122232425262728},
      {46, 8, 0x3132333435363738},
      {54, 8, 0x4142434445464748},
      {62, 8, 0x5152535455565758},
      {70, 8, 0x6162636465666768},
      {78, 8, 0x7172737475767778},
  };
  for (const Field& field : fields) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < field.width; ++i) {
      value |= static_cast<std::uint64_t>(bytes[field.offset + i]) << (8 * i);
    }
    EXPECT_EQ(value, field.value) << "offset " << field.offset;
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 86)), "Résumé.docx");
  EXPECT_EQ(bytes[345], 0) << "the name is zero-padded to the end";

  const FoundFile back = ParseFoundFile(bytes);
  std::array<std::uint8_t, kFoundFileBytes> again{};
  SerializeFoundFile(back, again);
  EXPECT_EQ(again, bytes);
}

TEST(FoundFile, NamesAreCutToFitAtACharacterBoundary) {
  FoundFile f;
  std::string longName(258, 'a');
  longName += "é";  // two bytes: only one more byte fits
  f.SetName(longName);
  EXPECT_EQ(f.Name(), std::string(258, 'a'));

  std::array<std::uint8_t, kFoundFileBytes> bytes{};
  bytes.fill('x');  // a stored name without a terminator
  EXPECT_EQ(ParseFoundFile(bytes).Name().size(), 259u);
}

TEST(ClusterAddress, ResolvesClustersAndTheFixedRootArea) {
  const ClusterLayout layout{.volumeStartSector = 2048,
                             .dataAreaSector = 600,
                             .clusterBytes = 4096,
                             .bytesPerSector = 512};
  EXPECT_EQ(ClusterToSector(layout, 2), 2648u);
  EXPECT_EQ(ClusterToSector(layout, 10), 2648u + 8 * 8);
  EXPECT_EQ(ClusterToSector(layout, 0), 2648u - 32) << "the FAT16 root area";
  EXPECT_EQ(ClusterToSector(layout, 1), std::nullopt);
  EXPECT_EQ(ClusterToSector({.dataAreaSector = 10, .clusterBytes = 512}, 0), std::nullopt);
  EXPECT_EQ(ClusterToSector(
                {.volumeStartSector = UINT64_MAX, .dataAreaSector = 1, .clusterBytes = 512}, 2),
            std::nullopt);
  EXPECT_EQ(ClusterToSector({.dataAreaSector = 1, .clusterBytes = 0}, 2), std::nullopt);
  const ClusterLayout huge{.dataAreaSector = 100, .clusterBytes = 0x10000000, .bytesPerSector = 1};
  EXPECT_EQ(ClusterToSector(huge, 0xFFFFFFFF), 100u + (0xFFFFFFFFull - 2) * 0x10000000);
}

}  // namespace
}  // namespace keldrive
