#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "carve/header_tests.h"
#include "carve/matroska_header.h"
#include "carve_test_support.h"
#include "support/fixtures.h"

namespace keldrive::testing {
namespace {

using namespace std::string_literals;

std::vector<std::uint8_t> RandomSectors(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count * 512);
  std::mt19937 engine(seed);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(engine());
  return bytes;
}

// A medium of deleted data that no detector recognises, with `file` laid on sector 2
// and the rest of its last sector zero, as a file system leaves it.
MemoryDevice MediumWith(const std::vector<std::uint8_t>& file, std::size_t sectors = 64) {
  auto bytes = RandomSectors(sectors, 5);
  const std::size_t end = 2 * 512 + (file.size() + 511) / 512 * 512;
  std::fill(bytes.begin() + 2 * 512, bytes.begin() + static_cast<std::ptrdiff_t>(end), 0);
  std::copy(file.begin(), file.end(), bytes.begin() + 2 * 512);
  return MemoryDevice(std::move(bytes));
}

// Files written by the real tools (tests/fixtures/carve/make_cases.sh), each carved at
// its first sector with its own size. Before, the detectors missed the first two and
// sized the last two wrong.
TEST(DetectorCases, RealFilesAreRecognisedAndSized) {
  struct Case {
    const char* file;
    FileTypeCode code;
    bool exact;  // else the file runs to the next boundary
  };
  const std::vector<Case> cases = {
      // Flash movies of version 6 on, stored plain.
      {"video6.swf", FileTypeCode::kSwf, true},
      // gzip at its default level, whose compression hint byte is 0; its end is where
      // its stream ends.
      {"letter.txt.gz", FileTypeCode::kGzip, true},
      // A comment follows the end-of-central-directory record.
      {"commented.zip", FileTypeCode::kZip, true},
      // An archive that ends inside its header sector.
      {"tiny.zip", FileTypeCode::kZip, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto file = LoadFixture("carve/cases/"s + c.file + ".gz");
    ASSERT_FALSE(file.empty());
    MemoryDevice device = MediumWith(file);
    CarveContext context;
    CarvedFileHit hit;
    EXPECT_EQ(Identify(context, device, 2, hit), result::kSuccess);
    EXPECT_EQ(hit.code, c.code);
    if (c.exact) {
      EXPECT_EQ(hit.size, file.size());
    } else {
      EXPECT_EQ(hit.size, (64u - 2u) * 512u);  // to the end of the medium
    }
  }
}

TEST(DetectorCases, GzipAndSwfHeadersStayStrict) {
  SectorProbe probe;
  auto gzip = LoadFixture("carve/cases/letter.txt.gz.gz");
  ASSERT_GT(gzip.size(), 16u);
  for (const int hint : {0, 2, 4}) {
    gzip[8] = static_cast<std::uint8_t>(hint);
    EXPECT_EQ(TestGzip(probe, gzip), FileTypeCode::kGzip) << hint;
  }
  for (const int hint : {1, 3, 6, 0x80}) {
    gzip[8] = static_cast<std::uint8_t>(hint);
    EXPECT_EQ(TestGzip(probe, gzip), FileTypeCode::kNone) << hint;
  }
  auto swf = LoadFixture("carve/cases/video6.swf.gz");
  ASSERT_GT(swf.size(), 8u);
  for (const int version : {1, 4, 6, 10, 43}) {
    swf[3] = static_cast<std::uint8_t>(version);
    EXPECT_EQ(TestSwf(probe, swf), FileTypeCode::kSwf) << version;
  }
  for (const int version : {0, 64, 0xFF}) {
    swf[3] = static_cast<std::uint8_t>(version);
    EXPECT_EQ(TestSwf(probe, swf), FileTypeCode::kNone) << version;
  }
}

// A trailer in the header sector ends the file there when the archive it closes starts
// at the file's first byte, or when zeros follow it to the sector's end; followed by data
// and closing something else, it belongs to something inside a larger file.
TEST(DetectorCases, TrailerInTheHeaderSectorEndsOnlyWhatItCloses) {
  const auto tiny = LoadFixture("carve/cases/tiny.zip.gz");
  ASSERT_LT(tiny.size(), 512u);
  for (const bool closesTheFile : {true, false}) {
    SCOPED_TRACE(closesTheFile);
    auto bytes = RandomSectors(16, 9);
    std::copy(tiny.begin(), tiny.end(), bytes.begin());
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(tiny.size()), bytes.begin() + 512, 0x20);
    // The central directory offset of the end record (no comment: it is the last 22 bytes).
    if (!closesTheFile) ++bytes[tiny.size() - 22 + 16];
    MemoryDevice device(bytes);
    CarveContext context;
    CarvedFileHit hit;
    ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
    EXPECT_EQ(hit.size, closesTheFile ? tiny.size() : 16u * 512u);
  }
}

std::vector<std::uint8_t> MatroskaHead() {
  const auto media = LoadFixture("carve/media.img.gz");
  for (const auto& row : LoadTruthTable("carve/truth.tsv")) {
    if (row.at(0) == "media" && row.at(3) == "mkv") {
      const auto at = static_cast<std::ptrdiff_t>(std::stoull(row.at(1)) * 512);
      return {media.begin() + at, media.begin() + at + std::stoll(row.at(4))};
    }
  }
  return {};
}

// Four magic bytes in deleted data would otherwise carve a "video" running over up to
// 64 GiB of the medium and make the walk step over everything in it.
TEST(DetectorCases, MatroskaNeedsAWholeHeaderAndEndsWithItsSegment) {
  const auto mkv = MatroskaHead();
  ASSERT_EQ(mkv.size(), 2724u);
  {
    auto bytes = RandomSectors(2048, 3);  // 1 MiB of random data
    Put(bytes, 0, "\x1A\x45\xDF\xA3"s);
    MemoryDevice device(bytes);
    CarveContext context;
    CarvedFileHit hit;
    EXPECT_EQ(Identify(context, device, 0, hit), result::kInvalidParameter);
  }
  // A real file followed by random data ends where its Segment says.
  MemoryDevice device = MediumWith(mkv, 2048);
  CarveContext context;
  CarvedFileHit hit;
  ASSERT_EQ(Identify(context, device, 2, hit), result::kSuccess);
  EXPECT_EQ(hit.code, FileTypeCode::kMkv);
  EXPECT_EQ(hit.size, mkv.size());

  // Headers that do not hold together.
  const auto header = std::vector<std::uint8_t>(mkv.begin(), mkv.begin() + 512);
  ASSERT_TRUE(ParseMatroskaHeader(header).has_value());
  EXPECT_EQ(ParseMatroskaHeader(header)->fileBytes, 2724u);
  const auto broken = [&](std::size_t at, std::uint8_t value) {
    auto copy = header;
    copy[at] = value;
    return !ParseMatroskaHeader(copy).has_value();
  };
  EXPECT_TRUE(broken(4, 0x00));     // no length marker in the header size
  EXPECT_TRUE(broken(4, 0xFF));     // header size unknown
  EXPECT_TRUE(broken(4, 0xA2));     // one byte short: the last element overruns it
  EXPECT_TRUE(broken(0x18, 'M'));   // "Matroska" is no document type
  EXPECT_TRUE(broken(0x28, 0x19));  // no Segment after the header
  EXPECT_TRUE(broken(0x2C, 0x00));  // Segment size without a length marker
  EXPECT_TRUE(broken(0x17, 0xA0));  // the document type runs past the header
  // A Segment of unknown size runs to the next boundary.
  auto unknown = header;
  unknown[0x2C] = 0x01;
  std::fill(unknown.begin() + 0x2D, unknown.begin() + 0x34, 0xFF);
  ASSERT_TRUE(ParseMatroskaHeader(unknown).has_value());
  EXPECT_FALSE(ParseMatroskaHeader(unknown)->fileBytes.has_value());
}

}  // namespace
}  // namespace keldrive::testing
