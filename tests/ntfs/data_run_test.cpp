#include "ntfs/data_run.h"

#include <gtest/gtest.h>

#include <vector>

#include "ntfs/mft_map.h"
#include "ntfs_builders.h"

namespace keldrive {
namespace {

using testing::Bytes;
using testing::EncodeRuns;

struct Decoded {
  std::vector<std::pair<std::uint32_t, std::int64_t>> runs;
  ParseStatus status;
  bool operator==(const Decoded&) const = default;
};

Decoded Decode(const Bytes& runList) {
  std::vector<DataRun> runs;
  const ParseStatus status = DecodeRunList(runList, runs);
  Decoded d{{}, status};
  for (const DataRun& r : runs) {
    if (r.flags == kRunSparse) {
      EXPECT_EQ(r.clusterDelta, 0) << "a sparse run sits where it is";
    }
    d.runs.emplace_back(r.clusterCount, r.clusterDelta);
  }
  return d;
}

TEST(DecodeRunList, ReadsCountsAndSignedDeltas) {
  struct Case {
    const char* what;
    Bytes runList;
    Decoded expected;
  };
  const Case cases[] = {
      {"one run", {0x21, 0x18, 0x34, 0x56, 0x00}, {{{0x18, 0x5634}}, ParseStatus::kOk}},
      {"a backward run",
       {0x11, 0x05, 0x10, 0x11, 0x02, 0xF0, 0x00},
       {{{5, 0x10}, {2, -0x10}}, ParseStatus::kOk}},
      {"five-byte offset with its top bit set",
       {0x51, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80},
       {{{1, -(std::int64_t{1} << 39)}}, ParseStatus::kOk}},
      {"seven-byte offset, -1",
       {0x71, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       {{{1, -1}}, ParseStatus::kOk}},
      {"sparse run: no offset field",
       {0x11, 0x04, 0x20, 0x01, 0x08, 0x00},
       {{{4, 0x20}, {8, 0}}, ParseStatus::kOk}},
      {"the end of the bytes ends the list", {0x11, 0x04, 0x20}, {{{4, 0x20}}, ParseStatus::kOk}},
      {"only the low 32 bits of a count",
       {0x15, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00},
       {{{1, 0}}, ParseStatus::kOk}},
      {"a field above 7 bytes",
       {0x11, 0x04, 0x20, 0x18, 1, 2, 3, 4, 5, 6, 7, 8, 9},
       {{{4, 0x20}}, ParseStatus::kDamaged}},
      {"fields that do not fit",
       {0x11, 0x04, 0x20, 0x33, 0x01, 0x02, 0x03, 0x04},
       {{{4, 0x20}}, ParseStatus::kDamaged}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.runList), c.expected) << c.what;
}

TEST(DecodeRunList, MarksRunsWithoutAnOffsetSparse) {
  std::vector<DataRun> runs;
  ASSERT_EQ(DecodeRunList(Bytes{0x11, 0x04, 0x20, 0x01, 0x08, 0x11, 0x02, 0x00, 0x00}, runs),
            ParseStatus::kOk);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].flags, 0u);
  EXPECT_EQ(runs[1].flags, kRunSparse);
  EXPECT_EQ(runs[2].flags, 0u) << "an offset field of 0 is a real run";
}

TEST(DecodeRunList, EveryOffsetWidthKeepsItsSign) {
  for (int bytes = 1; bytes <= 7; ++bytes) {
    const std::int64_t most = (std::int64_t{1} << (8 * bytes - 1)) - 1;
    for (const std::int64_t delta : {-most - 1, -most / 3, most}) {
      const Decoded d = Decode(EncodeRuns({{.count = 3, .delta = delta}}));
      ASSERT_EQ(d.runs.size(), 1u) << bytes;
      EXPECT_EQ(d.runs[0].second, delta) << bytes << " bytes";
    }
  }
}

TEST(DecodeDataRuns, DecodesLongRunListsWithinTheAttribute) {
  // 300 runs of 3 bytes: the attribute is longer than a 512-byte sector.
  std::vector<testing::Run> many;
  for (int i = 0; i < 300; ++i) many.push_back({.count = 1, .delta = i % 2 == 0 ? 90 : -40});
  const Bytes bytes = testing::NonResidentAttribute({.runList = EncodeRuns(many)});
  ASSERT_GT(bytes.size(), 512u);
  Attribute a;
  a.bytes = bytes;
  ASSERT_EQ(ParseAttributeHeader(a.bytes, a.header), ParseStatus::kOk);
  std::vector<DataRun> runs;
  EXPECT_EQ(DecodeDataRuns(a, runs), ParseStatus::kOk);
  ASSERT_EQ(runs.size(), 300u);
  EXPECT_EQ(runs[299].clusterDelta, -40);

  // A run list cut by the attribute's end stops there.
  Attribute cut = a;
  cut.bytes = std::span(bytes).first(0x40 + 3 * 10 + 2);
  runs.clear();
  EXPECT_EQ(DecodeDataRuns(cut, runs), ParseStatus::kDamaged);
  EXPECT_EQ(runs.size(), 10u);

  Attribute beyond = a;
  beyond.header.runListOffset = static_cast<std::uint16_t>(bytes.size() + 1);
  runs.clear();
  EXPECT_EQ(DecodeDataRuns(beyond, runs), ParseStatus::kDamaged);
  EXPECT_TRUE(runs.empty());

  const Bytes resident = testing::ResidentAttribute(0x80, Bytes(64, 0x21));
  Attribute value;
  value.bytes = resident;
  ASSERT_EQ(ParseAttributeHeader(value.bytes, value.header), ParseStatus::kOk);
  EXPECT_EQ(DecodeDataRuns(value, runs), ParseStatus::kNotThisStructure)
      << "a resident value is no run list";
  EXPECT_TRUE(runs.empty());
}

std::vector<std::int64_t> FirstClusters(const std::vector<DataRun>& runs) {
  std::vector<std::int64_t> clusters;
  std::int64_t c = 0;
  for (const DataRun& r : runs) {
    EXPECT_TRUE(AddClusterDelta(c, r.clusterDelta));
    clusters.push_back(c);
  }
  return clusters;
}

TEST(AppendExtentRuns, RebasesALaterExtentOntoTheSummedDeltas) {
  std::vector<DataRun> runs{{10, 0, 100}, {5, 0, 50}};
  std::int64_t summed = 150;
  // The extent's own deltas start again from 0: its runs lie at 400 and 390.
  ASSERT_TRUE(AppendExtentRuns(runs, summed, std::vector<DataRun>{{4, 0, 400}, {2, 0, -10}}));
  EXPECT_EQ(FirstClusters(runs), (std::vector<std::int64_t>{100, 150, 400, 390}));
  EXPECT_EQ(summed, 390);

  // A sparse run first keeps its place; the first placed run carries the rebase.
  ASSERT_TRUE(AppendExtentRuns(runs, summed, std::vector<DataRun>{{3, 0, 0}, {1, 0, 700}}));
  EXPECT_EQ(FirstClusters(runs), (std::vector<std::int64_t>{100, 150, 400, 390, 390, 700}));
  EXPECT_EQ(summed, 700);

  std::vector<DataRun> far{{1, 0, INT64_MAX}};
  std::int64_t farSum = INT64_MAX;
  EXPECT_FALSE(AppendExtentRuns(far, farSum, std::vector<DataRun>{{1, 0, -2}}));
  EXPECT_EQ(far.size(), 1u) << "nothing appended";
  EXPECT_EQ(farSum, INT64_MAX);
}

TEST(RecordNumberToSector, WalksTheMftRuns) {
  NtfsGeometry g;
  g.partitionStart = 1000;
  g.sectorsPerCluster = 8;
  g.sectorsPerRecord = 2;
  // 4 clusters (records 0-15) at cluster 100, then 2 clusters (records 16-23) at 150.
  const std::vector<DataRun> mft{{4, 0, 100}, {2, 0, 50}};
  struct Case {
    std::uint64_t record;
    std::uint64_t sector;
  };
  const Case cases[] = {
      {0, 1000 + 800},    {15, 1000 + 800 + 30},
      {16, 1000 + 1200},               // the first sector of a run maps into that run
      {23, 1000 + 1214},  {24, 1000},  // beyond the runs: the partition start
      {UINT64_MAX, 1000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RecordNumberToSector(g, mft, c.record), c.sector) << c.record;

  EXPECT_EQ(RecordNumberToSector(g, {}, 0), 1000u);
  const std::vector<DataRun> backwards{{4, 0, -5}};
  EXPECT_EQ(RecordNumberToSector(g, backwards, 1), 1000u) << "a negative cluster";
  const std::vector<DataRun> overflowing{{4, 0, INT64_MAX}, {4, 0, 1}};
  EXPECT_EQ(RecordNumberToSector(g, overflowing, 20), 1000u);

  // 4096-byte sectors: one sector per record.
  g.sectorsPerRecord = 1;
  g.sectorsPerCluster = 1;
  EXPECT_EQ(RecordNumberToSector(g, std::vector<DataRun>{{64, 0, 4}}, 10), 1000u + 4 + 10);
}

}  // namespace
}  // namespace keldrive
