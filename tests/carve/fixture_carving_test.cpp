#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "carve/file_type_code.h"
#include "carve/first_byte_index.h"
#include "carve/signature_table.h"
#include "carve_test_support.h"
#include "support/fixtures.h"
#include "support/sha256.h"

namespace keldrive::testing {
namespace {

struct TruthRow {
  std::string image;
  std::uint64_t sector = 0;
  int code = 0;
  std::string name;
  std::uint64_t fileBytes = 0;
  std::uint64_t carvedBytes = 0;
  std::string sha256;
};

std::vector<TruthRow> Truth() {
  std::vector<TruthRow> rows;
  for (const auto& f : LoadTruthTable("carve/truth.tsv")) {
    rows.push_back({f.at(0), std::stoull(f.at(1)), std::stoi(f.at(2)), f.at(3),
                    std::stoull(f.at(4)), std::stoull(f.at(5)), f.at(6)});
  }
  return rows;
}

std::map<std::string, std::vector<std::uint8_t>>& Images() {
  static std::map<std::string, std::vector<std::uint8_t>> images;
  if (images.empty()) {
    for (const char* name : {"pictures", "documents", "media"}) {
      images[name] = LoadFixture(std::string("carve/") + name + ".img.gz");
    }
  }
  return images;
}

TEST(FixtureCarving, FixturesHoldTheFilesOfTheirTruth) {
  const auto rows = Truth();
  ASSERT_EQ(rows.size(), 38u);
  for (const TruthRow& row : rows) {
    const auto& image = Images().at(row.image);
    ASSERT_LE(row.sector * 512 + row.fileBytes, image.size()) << row.image << " " << row.sector;
    const std::span<const std::uint8_t> file(image.data() + row.sector * 512, row.fileBytes);
    EXPECT_EQ(Sha256Hex(file), row.sha256) << row.image << " " << row.sector;
  }
}

// Every file of the fixtures is recognised at its first sector with its code and name,
// and sized as its type's rule defines, by the index and by the table walk alike.
TEST(FixtureCarving, EveryFileIsIdentifiedAndSized) {
  for (const bool useIndex : {true, false}) {
    for (const TruthRow& row : Truth()) {
      SCOPED_TRACE(row.image + " sector " + std::to_string(row.sector) + " " + row.name +
                   (useIndex ? " (index)" : " (walk)"));
      MemoryDevice device(Images().at(row.image));
      CarveContext context;
      context.useFirstByteIndex = useIndex;
      CarvedFileHit hit;
      const ResultCode rc = Identify(context, device, row.sector, hit);
      if (row.carvedBytes == 0) {
        EXPECT_EQ(rc, result::kInvalidParameter);
        EXPECT_EQ(static_cast<int>(RecogniseSector(context.probe, device.Sector(row.sector))),
                  row.code);
        continue;
      }
      ASSERT_EQ(rc, result::kSuccess);
      EXPECT_EQ(static_cast<int>(hit.code), row.code);
      EXPECT_EQ(hit.name, std::to_string(row.sector) + "." + row.name);
      EXPECT_EQ(hit.size, row.carvedBytes) << "file bytes " << row.fileBytes;
    }
  }
}

// The first-byte index answers as the table walk does: for every sector of the fixtures,
// and for every real header with the byte at each key offset replaced by all 256 values.
TEST(FixtureCarving, IndexAgreesWithTableWalk) {
  for (const auto& [name, bytes] : Images()) {
    MemoryDevice device(bytes);
    SectorProbe probe;
    probe.medium = &device.device;
    for (std::uint64_t s = 0; s < device.device.totalSectors; ++s) {
      probe.hitSector = probe.cursorSector = s;
      probe.previousWasTs = s % 2 == 0;
      ASSERT_EQ(RecogniseSector(probe, device.Sector(s)),
                RecogniseSectorByTableWalk(probe, device.Sector(s)))
          << name << " sector " << s;
    }
  }
  for (const TruthRow& row : Truth()) {
    MemoryDevice device(Images().at(row.image));
    SectorProbe probe;
    probe.medium = &device.device;
    probe.hitSector = probe.cursorSector = row.sector;
    const auto original = device.Sector(row.sector);
    std::vector<std::uint8_t> header(original.begin(), original.end());
    for (const std::size_t offset : {0u, 1u, 4u, 8u, 10u, 31u}) {
      const std::uint8_t kept = header[offset];
      for (int value = 0; value < 256; ++value) {
        header[offset] = static_cast<std::uint8_t>(value);
        ASSERT_EQ(RecogniseSector(probe, header), RecogniseSectorByTableWalk(probe, header))
            << row.image << " sector " << row.sector << " byte " << offset << " = " << value;
      }
      header[offset] = kept;
    }
  }
}

// Types the carving walk steps into by one sector, to look for files inside them.
bool WalkLooksInside(FileTypeCode code) {
  using enum FileTypeCode;
  for (const FileTypeCode c :
       {kDoc, kOle, kXls, kPpt, kWav, kAvi, kAsf, kSwf, kBmp, kCab, kTrueType, kIco}) {
    if (c == code) return true;
  }
  return false;
}

// A scan of each image as the carving engine walks it finds every file at its sector with
// its size; anything else it finds lies inside a file it looks into.
TEST(FixtureCarving, ScanWalkFindsEveryFile) {
  const auto truth = Truth();
  for (const auto& [name, bytes] : Images()) {
    MemoryDevice device(bytes);
    CarveContext context;
    std::map<std::uint64_t, CarvedFileHit> hits;
    for (std::uint64_t sector = 0; sector < device.device.totalSectors;) {
      CarvedFileHit hit;
      if (Identify(context, device, sector, hit) != result::kSuccess) {
        ++sector;
        continue;
      }
      const std::uint64_t step = WalkLooksInside(hit.code) ? 1 : (hit.size + 511) / 512;
      hits[sector] = hit;
      sector += std::max<std::uint64_t>(step, 1);
    }
    for (const TruthRow& row : truth) {
      if (row.image != name || row.carvedBytes == 0) continue;
      ASSERT_TRUE(hits.contains(row.sector)) << name << " " << row.sector << " " << row.name;
      EXPECT_EQ(hits[row.sector].size, row.carvedBytes) << name << " " << row.sector;
      EXPECT_EQ(static_cast<int>(hits[row.sector].code), row.code);
    }
    for (const auto& [sector, hit] : hits) {
      const bool listed = std::any_of(truth.begin(), truth.end(), [&](const TruthRow& row) {
        return row.image == name && row.sector == sector;
      });
      const bool inside = std::any_of(truth.begin(), truth.end(), [&](const TruthRow& row) {
        return row.image == name && sector > row.sector &&
               sector < row.sector + (row.fileBytes + 511) / 512 &&
               WalkLooksInside(static_cast<FileTypeCode>(row.code));
      });
      EXPECT_TRUE(listed || inside) << name << " unexpected " << hit.name << " " << hit.size;
    }
  }
}

}  // namespace
}  // namespace keldrive::testing
