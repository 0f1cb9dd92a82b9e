#include <gtest/gtest.h>

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

}  // namespace
}  // namespace keldrive::testing
