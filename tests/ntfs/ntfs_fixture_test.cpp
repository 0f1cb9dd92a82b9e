// The NTFS structures read back the volumes that mkntfs and ntfs-3g made
// (tests/fixtures/ntfs/make_fixtures.py): every file, live or deleted, byte for byte.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ntfs/attribute.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/boot_sector.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/mft_map.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"
#include "platform/memory_medium.h"
#include "support/fixtures.h"
#include "support/sha256.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kRootRecord = 5;

struct TruthRow {
  std::uint32_t record = 0;
  std::string state;  // live, deleted, overwritten
  std::string kind;   // f file, d folder, s named stream
  std::uint64_t size = 0;
  std::string sha256;
  std::string traits;
  std::string path;

  bool Has(const std::string& trait) const {
    return ("," + traits + ",").find("," + trait + ",") != std::string::npos;
  }
};

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = b;
    if (n > 1) c &= 0x7Fu >> n;
    for (std::size_t k = 1; k < n; ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return out;
}

std::string LastElement(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string ParentPath(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// One fixture image opened as an engine opens a volume: boot sector, geometry, MFT runs.
class FixtureVolume {
 public:
  explicit FixtureVolume(const std::string& name) {
    for (const auto& f : testing::LoadTruthTable("ntfs/" + name + ".tsv")) {
      EXPECT_EQ(f.size(), 7u);
      if (f.size() != 7) continue;
      truth.push_back({static_cast<std::uint32_t>(std::stoul(f[0])), f[1], f[2], std::stoull(f[3]),
                       f[4], f[5], f[6]});
    }
    const std::vector<std::uint8_t> image = testing::LoadFixture("ntfs/" + name + ".img.gz");
    EXPECT_EQ(image.size(), 16u << 20);
    EXPECT_EQ(AttachImage(device, std::make_unique<platform::MemoryMedium>(image)),
              result::kSuccess);
    EXPECT_EQ(ReadNtfsBootSector(device, 0, 512, boot), result::kSuccess);
    EXPECT_TRUE(MakeNtfsGeometry(boot, 0, image.size() / boot.bytesPerSector, 0, geometry));
    EXPECT_EQ(ReadAttributeRuns(device, geometry, {}, geometry.mftStartSector,
                                attribute_type::kData, mftRuns),
              result::kSuccess);
    for (const TruthRow& row : truth) {
      if (row.state != "overwritten") byPath[row.path] = &row;
    }
  }

  std::uint64_t SectorOf(std::uint32_t record) const {
    return RecordNumberToSector(geometry, mftRuns, record);
  }

  std::uint32_t RecordOfFolder(const std::string& path) const {
    if (path.empty()) return kRootRecord;
    const auto it = byPath.find(path);
    return it == byPath.end() ? 0 : it->second->record;
  }

  ResultCode ReadRecord(std::uint32_t record, std::vector<std::uint8_t>& block,
                        FileRecordHeader& header) {
    return ReadFileRecord(device, geometry, SectorOf(record), block, header);
  }

  // The file's first data attribute as an extraction reads it: the resident value, else
  // the clusters of its runs, cut to `size` bytes.
  ResultCode ReadData(std::uint32_t record, std::uint64_t size, std::vector<std::uint8_t>& data) {
    const std::uint64_t sector = SectorOf(record);
    ResultCode rc = ReadResidentData(device, geometry, sector, data);
    if (rc == result::kSuccess) {
      if (data.size() < size) return result::kHandleEof;
      data.resize(size);
      return rc;
    }
    if (rc != ntfs_result::kNoResidentData) return rc;
    std::vector<DataRun> runs;
    if (rc = ReadAttributeRuns(device, geometry, mftRuns, sector, attribute_type::kData, runs);
        rc != result::kSuccess) {
      return rc;
    }
    data.clear();
    std::int64_t cluster = 0;
    for (const DataRun& run : runs) {
      if (data.size() >= size) break;
      EXPECT_TRUE(AddClusterDelta(cluster, run.clusterDelta));
      std::uint64_t first = 0;
      if (!ClusterToSector(geometry, cluster, first)) return result::kInvalidParameter;
      std::vector<std::uint8_t> piece(std::size_t{run.clusterCount} * geometry.ClusterBytes());
      std::int32_t got = 0;
      if (rc = ReadSectors(device, piece, first,
                           static_cast<std::int32_t>(run.clusterCount * geometry.sectorsPerCluster),
                           static_cast<std::int32_t>(geometry.bytesPerSector), got);
          rc != result::kSuccess) {
        return rc;
      }
      data.insert(data.end(), piece.begin(), piece.end());
    }
    if (data.size() < size) return result::kHandleEof;
    data.resize(size);
    return result::kSuccess;
  }

  std::vector<TruthRow> truth;
  std::map<std::string, const TruthRow*> byPath;
  SectorDevice device;
  NtfsBootSector boot;
  NtfsGeometry geometry;
  std::vector<DataRun> mftRuns;
};

struct ImageCase {
  const char* name;
  std::uint32_t bytesPerSector;
  std::uint8_t sectorsPerCluster;
  std::uint32_t recordSize;
};

class NtfsFixture : public ::testing::TestWithParam<ImageCase> {
 protected:
  FixtureVolume v{GetParam().name};
};

TEST_P(NtfsFixture, GeometryAndEveryMftRecord) {
  const ImageCase& c = GetParam();
  EXPECT_EQ(v.geometry.bytesPerSector, c.bytesPerSector);
  EXPECT_EQ(v.geometry.sectorsPerCluster, c.sectorsPerCluster);
  EXPECT_EQ(v.geometry.recordSize, c.recordSize);
  ASSERT_FALSE(v.mftRuns.empty());
  EXPECT_EQ(v.SectorOf(0), v.geometry.mftStartSector);

  std::uint64_t mftBytes = 0;
  for (const DataRun& run : v.mftRuns) mftBytes += run.clusterCount * v.geometry.ClusterBytes();
  const std::uint64_t records = mftBytes / v.geometry.recordSize;
  std::uint64_t fileRecords = 0, damagedWalks = 0;
  for (std::uint32_t n = 0; n < records; ++n) {
    std::vector<std::uint8_t> block;
    FileRecordHeader header;
    if (v.ReadRecord(n, block, header) != result::kSuccess) continue;
    ++fileRecords;
    EXPECT_TRUE(header.recordNumber == n || header.recordNumber == 0) << n;
    AttributeWalk walk = AttributeWalk::OfRecord(block, header, v.geometry.recordSize);
    Attribute a;
    while (walk.Next(a)) {
    }
    damagedWalks += walk.damaged();
  }
  EXPECT_GT(fileRecords, v.truth.size() / 2);
  EXPECT_EQ(damagedWalks, 0u);
  EXPECT_EQ(v.SectorOf(static_cast<std::uint32_t>(records)), 0u) << "beyond the MFT";
}

TEST_P(NtfsFixture, EveryFileReadsBackByteExactLiveOrDeleted) {
  std::size_t live = 0, deleted = 0;
  for (const TruthRow& row : v.truth) {
    // A file whose attribute list lost later extents on deletion is checked for the part
    // the list still reaches (its "#listed" row).
    const bool listed = row.kind == "p";
    if ((row.kind != "f" && !listed) || row.state == "overwritten" || row.Has("listcut")) continue;
    std::vector<std::uint8_t> block;
    FileRecordHeader header;
    ASSERT_EQ(v.ReadRecord(row.record, block, header), result::kSuccess) << row.path;
    EXPECT_EQ(header.InUse(), row.state == "live") << row.path;
    EXPECT_FALSE(header.IsDirectory()) << row.path;

    std::vector<std::uint8_t> data;
    const ResultCode rc = v.ReadData(row.record, row.size, data);
    if (row.size == 0 && rc == ntfs_result::kAttributeNotFound) continue;  // no unnamed data
    ASSERT_EQ(rc, result::kSuccess) << row.path;
    EXPECT_EQ(testing::Sha256Hex(data), row.sha256) << row.path << " (" << row.state << ")";
    (row.state == "live" ? live : deleted)++;
  }
  EXPECT_GT(live, 20u);
  EXPECT_GE(deleted, 12u);
}

TEST_P(NtfsFixture, FileNamesNameTheFileAndItsFolder) {
  std::size_t checked = 0;
  for (const TruthRow& row : v.truth) {
    if (row.kind == "s" || row.kind == "p" || row.state == "overwritten" || row.Has("attrlist")) {
      continue;
    }
    std::vector<std::uint8_t> block;
    FileRecordHeader header;
    ASSERT_EQ(v.ReadRecord(row.record, block, header), result::kSuccess) << row.path;
    EXPECT_EQ(header.IsDirectory(), row.kind == "d") << row.path;
    AttributeWalk walk = AttributeWalk::OfRecord(block, header, v.geometry.recordSize);
    Attribute a;
    std::vector<FileNameAttribute> names;
    while (walk.Next(a)) {
      FileNameAttribute f;
      if (ParseFileNameAttribute(a, f) == ParseStatus::kOk) names.push_back(f);
    }
    ASSERT_FALSE(names.empty()) << row.path;
    const std::u16string expected = Utf16(LastElement(row.path));
    const std::uint32_t parent = v.RecordOfFolder(ParentPath(row.path));
    const bool found = std::any_of(names.begin(), names.end(), [&](const FileNameAttribute& f) {
      return f.name == expected && f.parentRecord == parent;
    });
    EXPECT_TRUE(found) << row.path;
    // ntfs-3g drops the DOS name when it deletes a file: only live files keep both.
    if (row.Has("dosname") && row.state == "live") {
      EXPECT_EQ(names.front().nameNamespace, file_name_namespace::kDos) << row.path;
      EXPECT_EQ(names.back().nameNamespace, file_name_namespace::kWin32) << row.path;
      EXPECT_EQ(names.back().name, expected) << "the Win32 name comes after the DOS name";
    }
    ++checked;
  }
  EXPECT_GT(checked, 30u);
}

TEST_P(NtfsFixture, AFileWithANamedStreamOnlyReadsThatStream) {
  const TruthRow& file = *v.byPath.at("streams/only_stream.bin");
  const TruthRow& stream = *v.byPath.at("streams/only_stream.bin:payload");
  std::vector<std::uint8_t> data;
  ASSERT_EQ(v.ReadData(file.record, stream.size, data), result::kSuccess);
  EXPECT_EQ(testing::Sha256Hex(data), stream.sha256)
      << "the first data attribute of the record is the named one";
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsFixture,
                         ::testing::Values(ImageCase{"ntfs512", 512, 2, 1024},
                                           ImageCase{"ntfs4k", 4096, 1, 4096}),
                         [](const auto& image) { return std::string(image.param.name); });

// Files whose record holds an attribute list: heavily fragmented data split over the base
// record and an extension record, with a non-resident list; and hard links whose long
// names overflow the record. The deleted fragmented one is followed as far as ntfs-3g left
// its list.
TEST(NtfsFixture512, AttributeListsAreFollowedToEveryExtent) {
  FixtureVolume v("ntfs512");
  for (const char* path :
       {"frag/attrlist_live.bin", "frag/attrlist_deleted.bin#listed", "links/shared.bin"}) {
    const TruthRow& row = *v.byPath.at(path);
    ASSERT_TRUE(row.kind == "p" || row.Has("attrlist")) << path;
    std::vector<DataRun> followed, refused;
    EXPECT_EQ(ReadAttributeRuns(v.device, v.geometry, v.mftRuns, v.SectorOf(row.record),
                                attribute_type::kData, followed),
              result::kSuccess)
        << path;
    EXPECT_EQ(ReadAttributeRuns(v.device, v.geometry, v.mftRuns, v.SectorOf(row.record),
                                attribute_type::kData, refused, AttributeListHandling::kRefuse),
              result::kInvalidParameter)
        << path;
    std::uint64_t clusters = 0;
    for (const DataRun& run : followed) clusters += run.clusterCount;
    EXPECT_GE(clusters * v.geometry.ClusterBytes(), row.size) << path;
  }
  // The big ones have more runs than their base record holds.
  const TruthRow& live = *v.byPath.at("frag/attrlist_live.bin");
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  ASSERT_EQ(v.ReadRecord(live.record, block, header), result::kSuccess);
  AttributeWalk walk = AttributeWalk::OfRecord(block, header, v.geometry.recordSize);
  Attribute a;
  std::vector<DataRun> baseRuns;
  bool nonResidentList = false;
  while (walk.Next(a)) {
    if (a.header.type == attribute_type::kAttributeList) nonResidentList = a.header.nonResident;
    if (a.header.type == attribute_type::kData) DecodeDataRuns(a, baseRuns);
  }
  EXPECT_TRUE(nonResidentList);
  std::vector<DataRun> all;
  ASSERT_EQ(ReadAttributeRuns(v.device, v.geometry, v.mftRuns, v.SectorOf(live.record),
                              attribute_type::kData, all),
            result::kSuccess);
  EXPECT_GT(baseRuns.size(), 50u);
  EXPECT_GT(all.size(), baseRuns.size() + 50);
}

// On 4096-byte sectors a record carries eight update-sequence fix-ups. This file's run list
// crosses the end of the record's first 512-byte block, so it only reads back when each
// block gets its own word back.
TEST(NtfsFixture4k, RunListsCrossingBlockEndsNeedEveryFixup) {
  FixtureVolume v("ntfs4k");
  const TruthRow& row = *v.byPath.at("frag/many_fragments.bin");
  std::vector<std::uint8_t> raw;
  ASSERT_EQ(ReadRecordBlock(v.device, v.geometry, v.SectorOf(row.record), raw), result::kSuccess);
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  ASSERT_EQ(v.ReadRecord(row.record, block, header), result::kSuccess);
  AttributeWalk walk = AttributeWalk::OfRecord(block, header, v.geometry.recordSize);
  Attribute a;
  std::optional<Attribute> data;
  while (walk.Next(a)) {
    if (a.header.type == attribute_type::kData) data = a;
  }
  ASSERT_TRUE(data);
  EXPECT_LT(data->offset + data->header.runListOffset, 510u);
  EXPECT_GT(data->offset + data->header.length, 512u);
  EXPECT_EQ(raw[510] | raw[511] << 8, header.updateSequenceNumber)
      << "on disk the block ends in the sequence number";
  EXPECT_NE(block[510] | block[511] << 8, header.updateSequenceNumber);
}

}  // namespace
}  // namespace keldrive
