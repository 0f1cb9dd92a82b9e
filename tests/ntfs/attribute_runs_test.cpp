#include "ntfs/attribute_runs.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ntfs/attribute.h"
#include "ntfs/mft_map.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"
#include "ntfs_builders.h"
#include "platform/memory_medium.h"

namespace keldrive {
namespace {

using testing::AttributeListEntryBytes;
using testing::Bytes;
using testing::EncodeRuns;
using testing::NonResidentAttribute;
using testing::RecordBuilder;
using testing::ResidentAttribute;

constexpr std::uint64_t kMftCluster = 16;
constexpr std::uint32_t kMftRecords = 64;

// A volume of 512-byte sectors and clusters whose MFT is one run of 64 records from
// cluster 16: record n lies at sector 16 + 2n.
class CraftedVolume : public ::testing::Test {
 protected:
  CraftedVolume() : volume_(4 << 20, 512, 1, kMftCluster) {
    Put(0, RecordBuilder(0).Add(NonResidentAttribute(
               {.runList = EncodeRuns({{.count = 2 * kMftRecords, .delta = kMftCluster}}),
                .highestVcn = 2 * kMftRecords - 1,
                .allocatedSize = 1024 * kMftRecords,
                .realSize = 1024 * kMftRecords})));
  }

  static std::uint64_t SectorOf(std::uint32_t record) { return kMftCluster + 2 * record; }

  void Put(std::uint32_t record, const RecordBuilder& builder) {
    volume_.PutRecord(SectorOf(record), builder.Build());
  }

  // Attaches the image and reads the MFT's runs as an engine does when it opens a volume.
  void Open() {
    auto medium = std::make_unique<platform::MemoryMedium>(volume_.image);
    medium_ = medium.get();
    ASSERT_EQ(AttachImage(device_, std::move(medium)), result::kSuccess);
    NtfsBootSector boot;
    ASSERT_EQ(ParseNtfsBootSector(volume_.image, boot), ParseStatus::kOk);
    ASSERT_TRUE(MakeNtfsGeometry(boot, 0, device_.totalSectors, 0, geometry_));
    ASSERT_EQ(ReadAttributeRuns(device_, geometry_, {}, geometry_.mftStartSector,
                                attribute_type::kData, mftRuns_),
              result::kSuccess);
  }

  ResultCode Read(std::uint32_t record, std::vector<std::int64_t>& clusters,
                  AttributeListHandling lists = AttributeListHandling::kFollow,
                  std::uint32_t type = attribute_type::kData) {
    std::vector<DataRun> runs;
    const ResultCode rc =
        ReadAttributeRuns(device_, geometry_, mftRuns_, SectorOf(record), type, runs, lists);
    clusters.clear();
    std::int64_t c = 0;
    for (const DataRun& r : runs) {
      EXPECT_TRUE(AddClusterDelta(c, r.clusterDelta));
      clusters.push_back(c);
    }
    return rc;
  }

  std::vector<std::int64_t> Clusters(std::uint32_t record) {
    std::vector<std::int64_t> clusters;
    EXPECT_EQ(Read(record, clusters), result::kSuccess) << "record " << record;
    return clusters;
  }

  testing::VolumeBuilder volume_;
  SectorDevice device_;
  platform::MemoryMedium* medium_ = nullptr;
  NtfsGeometry geometry_;
  std::vector<DataRun> mftRuns_;
};

Bytes Data(std::initializer_list<testing::Run> runs, std::uint64_t lowestVcn,
           std::uint64_t highestVcn, std::uint64_t allocatedClusters,
           const std::u16string& name = u"") {
  return NonResidentAttribute({.runList = EncodeRuns(runs),
                               .lowestVcn = lowestVcn,
                               .highestVcn = highestVcn,
                               .allocatedSize = lowestVcn == 0 ? allocatedClusters * 512 : 0,
                               .realSize = lowestVcn == 0 ? allocatedClusters * 512 : 0,
                               .name = name});
}

Bytes List(std::initializer_list<Bytes> entries) {
  Bytes value;
  for (const Bytes& e : entries) value.insert(value.end(), e.begin(), e.end());
  return ResidentAttribute(attribute_type::kAttributeList, value);
}

Bytes FileName(const std::u16string& name) {
  return ResidentAttribute(attribute_type::kFileName, testing::FileNameValue(5, name));
}

TEST_F(CraftedVolume, ReadsTheRunsOfTheFirstAttributeOfTheType) {
  Put(40, RecordBuilder(40)
              .Add(FileName(u"a.bin"))
              .Add(Data({{.count = 8, .delta = 500}, {.count = 4, .delta = -200}}, 0, 11, 12))
              .Add(Data({{.count = 1, .delta = 900}}, 0, 0, 1, u"second")));
  Open();
  EXPECT_EQ(mftRuns_.size(), 1u);
  EXPECT_EQ(RecordNumberToSector(geometry_, mftRuns_, 40), SectorOf(40));
  EXPECT_EQ(Clusters(40), (std::vector<std::int64_t>{500, 300}));
}

TEST_F(CraftedVolume, ResultCodesTellWhatWentWrong) {
  Put(40, RecordBuilder(40).Add(FileName(u"resident.txt")).Add(ResidentAttribute(0x80, Bytes(9))));
  Put(41, RecordBuilder(41).Add(FileName(u"no data")));
  Put(42, RecordBuilder(42).Add(Data({}, 0, UINT64_MAX, 0)));  // an empty file
  Put(43, RecordBuilder(43).Add(Data({}, 0, 7, 8)));           // clusters but no runs
  Open();
  std::vector<std::int64_t> clusters;
  EXPECT_EQ(Read(40, clusters), ntfs_result::kAttributeNotFound) << "resident: no runs";
  EXPECT_EQ(Read(41, clusters), ntfs_result::kAttributeNotFound);
  EXPECT_EQ(Read(42, clusters), result::kSuccess);
  EXPECT_TRUE(clusters.empty());
  EXPECT_EQ(Read(43, clusters), ntfs_result::kAttributeNotFound)
      << "a file with clusters and no runs is not an empty file";
  EXPECT_EQ(Read(50, clusters), ntfs_result::kNotFileRecord) << "a record never written";

  std::vector<DataRun> runs;
  EXPECT_EQ(ReadAttributeRuns(device_, geometry_, mftRuns_, device_.totalSectors - 2, 0x80, runs),
            result::kInvalidParameter)
      << "an 8 KiB read beyond the medium";
  // The 8 KiB read holds the records after it too: only a sector of its own fails it.
  medium_->FailSector(SectorOf(40) + 3);
  EXPECT_EQ(Read(40, clusters), ntfs_result::kAttributeNotFound);
  medium_->FailSector(SectorOf(40) + 1);
  EXPECT_EQ(Read(40, clusters), result::kReadFault);
}

TEST_F(CraftedVolume, GathersExtentsFromAResidentAttributeList) {
  // The base record lists its data in two extension records, each with its own deltas.
  Put(41,
      RecordBuilder(41)
          .Add(List({AttributeListEntryBytes(0x10, 0, 41), AttributeListEntryBytes(0x30, 0, 41),
                     AttributeListEntryBytes(0x80, 0, 42), AttributeListEntryBytes(0x80, 8, 43)}))
          .Add(FileName(u"extents.bin")));
  Put(42, RecordBuilder(42).BaseRecord(41).Add(Data({{.count = 8, .delta = 1000}}, 0, 7, 12)));
  Put(43, RecordBuilder(43).BaseRecord(41).Add(Data({{.count = 4, .delta = 2000}}, 8, 11, 0)));
  Open();
  EXPECT_EQ(Clusters(41), (std::vector<std::int64_t>{1000, 2000}))
      << "the second extent is rebased, not read 1000 clusters too far";
}

TEST_F(CraftedVolume, GathersTheRestWhenTheBaseRecordHoldsOnlyTheFirstExtent) {
  Put(44,
      RecordBuilder(44)
          .Add(List({AttributeListEntryBytes(0x30, 0, 44), AttributeListEntryBytes(0x80, 0, 44),
                     AttributeListEntryBytes(0x80, 8, 45), AttributeListEntryBytes(0x80, 10, 46)}))
          .Add(FileName(u"split.bin"))
          .Add(Data({{.count = 8, .delta = 1000}}, 0, 7, 13)));
  Put(45, RecordBuilder(45).BaseRecord(44).Add(Data({{.count = 2, .delta = 1500}}, 8, 9, 0)));
  Put(46, RecordBuilder(46).BaseRecord(44).Add(
              Data({{.count = 1, .delta = 700}, {.count = 2, .delta = -100}}, 10, 12, 0)));
  Open();
  EXPECT_EQ(Clusters(44), (std::vector<std::int64_t>{1000, 1500, 700, 600}));
}

TEST_F(CraftedVolume, FollowsOnlyTheStreamOfTheFirstEntry) {
  Put(47, RecordBuilder(47).Add(List({AttributeListEntryBytes(0x80, 0, 48),
                                      AttributeListEntryBytes(0x80, 0, 49, u"alt"),
                                      AttributeListEntryBytes(0x80, 4, 50)})));
  Put(48, RecordBuilder(48).BaseRecord(47).Add(Data({{.count = 4, .delta = 100}}, 0, 3, 6)));
  Put(49,
      RecordBuilder(49).BaseRecord(47).Add(Data({{.count = 9, .delta = 900}}, 0, 8, 9, u"alt")));
  Put(50, RecordBuilder(50).BaseRecord(47).Add(Data({{.count = 2, .delta = 200}}, 4, 5, 0)));
  Open();
  EXPECT_EQ(Clusters(47), (std::vector<std::int64_t>{100, 200}));
}

TEST_F(CraftedVolume, FollowingEndsOnDamagedOrForeignExtents) {
  // A list that names the record itself for data it does not hold.
  Put(40, RecordBuilder(40).Add(List({AttributeListEntryBytes(0x80, 0, 40)})));
  // An entry of length 0 before the data's entry.
  {
    Bytes record =
        RecordBuilder(41)
            .Add(List({AttributeListEntryBytes(0x10, 0, 41), AttributeListEntryBytes(0x80, 0, 42)}))
            .Build();
    testing::Put16(record, 0x38 + 0x18 + 4, 0);  // the first entry's length
    volume_.PutRecord(SectorOf(41), record);
  }
  Put(42, RecordBuilder(42).BaseRecord(41).Add(Data({{.count = 3, .delta = 30}}, 0, 2, 3)));
  // An extent in a record that now belongs to another file.
  Put(43,
      RecordBuilder(43)
          .Add(List({AttributeListEntryBytes(0x80, 0, 43), AttributeListEntryBytes(0x80, 4, 44)}))
          .Add(Data({{.count = 4, .delta = 400}}, 0, 3, 8)));
  Put(44, RecordBuilder(44).BaseRecord(12).Add(Data({{.count = 4, .delta = 50}}, 4, 7, 0)));
  // A gap: the second extent starts two clusters late.
  Put(45, RecordBuilder(45).Add(
              List({AttributeListEntryBytes(0x80, 0, 46), AttributeListEntryBytes(0x80, 6, 47)})));
  Put(46, RecordBuilder(46).BaseRecord(45).Add(Data({{.count = 4, .delta = 60}}, 0, 3, 8)));
  Put(47, RecordBuilder(47).BaseRecord(45).Add(Data({{.count = 2, .delta = 80}}, 6, 7, 0)));
  // An extension record whose extent does not start where its entry says.
  Put(48, RecordBuilder(48).Add(List({AttributeListEntryBytes(0x80, 0, 49)})));
  Put(49, RecordBuilder(49).BaseRecord(48).Add(Data({{.count = 4, .delta = 60}}, 2, 5, 0)));
  Open();

  std::vector<std::int64_t> clusters;
  EXPECT_EQ(Read(40, clusters), ntfs_result::kAttributeNotFound) << "self-listing";
  EXPECT_EQ(Read(41, clusters), ntfs_result::kAttributeNotFound) << "entry of length 0";
  EXPECT_EQ(Clusters(43), (std::vector<std::int64_t>{400})) << "foreign extension record";
  EXPECT_EQ(Clusters(45), (std::vector<std::int64_t>{60})) << "missing extent";
  EXPECT_EQ(Read(48, clusters), ntfs_result::kAttributeNotFound) << "misplaced extent";
}

TEST_F(CraftedVolume, ReadsANonResidentListUpToItsRealSize) {
  const Bytes first = AttributeListEntryBytes(0x80, 0, 42);
  const Bytes second = AttributeListEntryBytes(0x80, 3, 43);
  Bytes clusterBytes = first;
  clusterBytes.insert(clusterBytes.end(), second.begin(), second.end());
  // Beyond the real size, stale entries that would add a wrong extent.
  const Bytes stale = AttributeListEntryBytes(0x80, 5, 44);
  clusterBytes.insert(clusterBytes.end(), stale.begin(), stale.end());
  volume_.PutBytes(3000 * 512, clusterBytes);
  const auto listAttribute = [&](std::uint64_t realSize) {
    return NonResidentAttribute({.type = attribute_type::kAttributeList,
                                 .runList = EncodeRuns({{.count = 1, .delta = 3000}}),
                                 .allocatedSize = 512,
                                 .realSize = realSize});
  };
  Put(41, RecordBuilder(41).Add(listAttribute(first.size() + second.size())));
  Put(45, RecordBuilder(45).Add(listAttribute(std::uint64_t{1} << 40)));  // capped, not allocated
  Put(42, RecordBuilder(42).BaseRecord(41).Add(Data({{.count = 3, .delta = 10}}, 0, 2, 5)));
  Put(43, RecordBuilder(43).BaseRecord(41).Add(Data({{.count = 2, .delta = 20}}, 3, 4, 0)));
  Put(44, RecordBuilder(44).BaseRecord(41).Add(Data({{.count = 2, .delta = 30}}, 5, 6, 0)));
  Open();
  EXPECT_EQ(Clusters(41), (std::vector<std::int64_t>{10, 20}));
  std::vector<std::int64_t> clusters;
  EXPECT_EQ(Read(45, clusters), ntfs_result::kAttributeNotFound)
      << "the extents belong to record 41";
}

TEST_F(CraftedVolume, ProfessionalVariantsDoNotFollowLists) {
  Put(41, RecordBuilder(41)
              .Add(List({AttributeListEntryBytes(0x80, 0, 42)}))
              .Add(FileName(u"listed.bin")));
  Put(42, RecordBuilder(42).BaseRecord(41).Add(Data({{.count = 3, .delta = 30}}, 0, 2, 3)));
  Bytes late = RecordBuilder(43).Add(Data({{.count = 3, .delta = 30}}, 0, 2, 3)).Build();
  testing::Put16(late, 0x14, 1024);
  volume_.PutRecord(SectorOf(43), late);
  Open();
  std::vector<std::int64_t> clusters;
  EXPECT_EQ(Read(41, clusters, AttributeListHandling::kRefuse), result::kInvalidParameter);
  EXPECT_EQ(Read(41, clusters, AttributeListHandling::kStop), ntfs_result::kAttributeNotFound);
  EXPECT_EQ(Read(43, clusters, AttributeListHandling::kStop), result::kInvalidParameter)
      << "first attribute not below the record size";
  EXPECT_EQ(Read(43, clusters, AttributeListHandling::kFollow), ntfs_result::kAttributeNotFound);
}

TEST(AttributeRuns, TheMftsOwnExtensionRecordsAreFoundThroughItsFirstExtent) {
  // Record 0 holds the MFT's first extent (records 0-7) and a list naming record 3 for the
  // rest; no MFT runs are known yet while they are read.
  testing::VolumeBuilder v(1 << 20, 512, 2, 8);  // MFT at sector 16, one record per cluster
  const auto sectorOf = [](std::uint64_t cluster) { return 2 * cluster; };
  v.PutRecord(
      sectorOf(8),
      RecordBuilder(0)
          .Add(List({AttributeListEntryBytes(0x80, 0, 0), AttributeListEntryBytes(0x80, 8, 3)}))
          .Add(NonResidentAttribute({.runList = EncodeRuns({{.count = 8, .delta = 8}}),
                                     .highestVcn = 7,
                                     .allocatedSize = 12 * 1024,
                                     .realSize = 12 * 1024}))
          .Build());
  v.PutRecord(sectorOf(8 + 3),
              RecordBuilder(3).Add(Data({{.count = 4, .delta = 100}}, 8, 11, 0)).Build());
  SectorDevice device;
  ASSERT_EQ(AttachImage(device, std::make_unique<platform::MemoryMedium>(v.image)),
            result::kSuccess);
  NtfsBootSector boot;
  NtfsGeometry g;
  ASSERT_EQ(ReadNtfsBootSector(device, 0, 512, boot), result::kSuccess);
  ASSERT_TRUE(MakeNtfsGeometry(boot, 0, device.totalSectors, 0, g));
  std::vector<DataRun> mft;
  ASSERT_EQ(ReadAttributeRuns(device, g, {}, g.mftStartSector, attribute_type::kData, mft),
            result::kSuccess);
  ASSERT_EQ(mft.size(), 2u);
  EXPECT_EQ(RecordNumberToSector(g, mft, 9), sectorOf(100 + 1));
}

TEST_F(CraftedVolume, ResidentDataComesWithItsPadding) {
  Bytes value(700);
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i);
  Put(40, RecordBuilder(40).Add(FileName(u"small.txt")).Add(ResidentAttribute(0x80, value)));
  Put(41, RecordBuilder(41).Add(Data({{.count = 1, .delta = 9}}, 0, 0, 1)));
  Put(42, RecordBuilder(42).Add(FileName(u"no data")));
  Bytes outside = RecordBuilder(43).Add(ResidentAttribute(0x80, Bytes(10, 1))).Build();
  testing::Put32(outside, 0x38 + 0x10, 0x100);  // a value longer than its attribute
  volume_.PutRecord(SectorOf(43), outside);
  Open();

  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadResidentData(device_, geometry_, SectorOf(40), read), result::kSuccess);
  ASSERT_EQ(read.size(), 704u) << "700 bytes and the attribute's alignment";
  EXPECT_TRUE(std::equal(value.begin(), value.end(), read.begin()));
  EXPECT_EQ(ReadResidentData(device_, geometry_, SectorOf(41), read), ntfs_result::kNoResidentData);
  EXPECT_EQ(ReadResidentData(device_, geometry_, SectorOf(42), read), ntfs_result::kNoResidentData);
  EXPECT_EQ(ReadResidentData(device_, geometry_, SectorOf(50), read), ntfs_result::kNoResidentData);
  EXPECT_EQ(ReadResidentData(device_, geometry_, SectorOf(43), read), result::kInvalidParameter);
  medium_->FailSector(SectorOf(40));
  EXPECT_EQ(ReadResidentData(device_, geometry_, SectorOf(40), read), result::kReadFault);
}

}  // namespace
}  // namespace keldrive
