#include "carve/size_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carve/header_tests.h"
#include "carve_test_support.h"
#include "support/fixtures.h"

namespace keldrive::testing {
namespace {

using namespace std::string_literals;

// The bytes of one fixture file, by its type name in the ground truth.
std::vector<std::uint8_t> FixtureFile(const std::string& image, const std::string& name) {
  const auto bytes = LoadFixture("carve/" + image + ".img.gz");
  for (const auto& row : LoadTruthTable("carve/truth.tsv")) {
    if (row.at(0) == image && row.at(3) == name) {
      const auto at = static_cast<std::ptrdiff_t>(std::stoull(row.at(1)) * 512);
      return {bytes.begin() + at, bytes.begin() + at + std::stoll(row.at(4))};
    }
  }
  return {};
}

std::vector<std::uint8_t> Sectors(std::size_t count, std::uint8_t fill = 0) {
  return std::vector<std::uint8_t>(count * 512, fill);
}

void Place(std::vector<std::uint8_t>& image, std::size_t at, const std::vector<std::uint8_t>& b) {
  std::copy(b.begin(), b.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

// A context positioned on `sector` of `device`, as IdentifyAndSize leaves it.
void Position(CarveContext& context, MemoryDevice& device, std::uint64_t sector) {
  context.probe.medium = &device.device;
  context.probe.sectorSize = 512;
  context.probe.hitSector = context.probe.cursorSector = sector;
}

// Pictures end where their structure ends, whatever follows in the same sector. When the
// structure is broken, the first trailer followed by zeros to the end of its sector ends
// the file, and one followed by data does not.
TEST(SizeRules, PicturesEndWithTheirStructureElseAtAPaddedTrailer) {
  struct Case {
    const char* name;
    std::size_t brokenAt;  // a byte that breaks the structure
    std::uint8_t brokenValue;
    std::uint64_t brokenSize;  // the size found then
  };
  // The GIF's last block introducer, 0x3B, becomes an unknown one: its "00 3B" is gone,
  // and the padded "00 3B" placed at 1124 ends it. The JPEG's first segment claims 64 KiB,
  // beyond the medium: its end marker is followed by data, so it runs to the medium's end.
  const Case cases[] = {{"gif", 539, 0x99, 1024 + 102}, {"jpg", 4, 0xFF, 8 * 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto picture = FixtureFile("pictures", c.name);  // the first of its type
    ASSERT_LT(picture.size(), 1024u);
    auto image = Sectors(8, 0x5A);
    Place(image, 0, picture);
    Place(image, 1024 + 100, {0x00, 0x3B});
    std::fill(image.begin() + 1126, image.begin() + 1536, 0);
    CarveContext context;
    CarvedFileHit hit;
    {
      MemoryDevice device(image);
      ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
      EXPECT_EQ(hit.size, picture.size());
    }
    image[c.brokenAt] = c.brokenValue;
    MemoryDevice broken(image);
    ASSERT_EQ(Identify(context, broken, 0, hit), result::kSuccess);
    EXPECT_EQ(hit.size, c.brokenSize);
  }
}

TEST(SizeRules, JpegEndingInItsHeaderSectorIsOneSectorOrLess) {
  const auto jpeg = FixtureFile("pictures", "jpg");  // the first: a 1x1 picture
  ASSERT_LT(jpeg.size(), 512u);
  auto image = Sectors(4, 0x77);
  Place(image, 0, jpeg);
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(jpeg.size()), image.begin() + 512, 0);
  MemoryDevice device(image);
  CarveContext context;
  CarvedFileHit hit;
  ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.size, jpeg.size());
  // Data after the marker in the same sector does not move the end of the coded data.
  image[jpeg.size()] = 1;
  MemoryDevice dirty(image);
  ASSERT_EQ(Identify(context, dirty, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.size, jpeg.size());
}

TEST(SizeRules, FieldsBeyondTheBytesGiveOneSector) {
  MemoryDevice device(Sectors(2));
  CarveContext context;
  Position(context, device, 0);
  // An ASF file-properties object whose flags would lie past the bytes at hand.
  auto asf = std::vector<std::uint8_t>(100);
  Put(asf, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"s);
  Put(asf, 30, "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65"s);
  PutLe(asf, 70, 12345, 8);
  EXPECT_EQ(SizeAsf(context, asf), 512u);
  asf.resize(122);
  EXPECT_EQ(SizeAsf(context, asf), 12345u);
  // Icon and font directories beyond the sector and beyond the medium.
  auto icon = std::vector<std::uint8_t>(16);
  Put(icon, 0, "\x00\x00\x01\x00\x64\x00"s);
  EXPECT_EQ(SizeIco(context, icon), 512u);
  auto font = std::vector<std::uint8_t>(16);
  Put(font, 0, "\x00\x01\x00\x00\x00\x40"s);
  EXPECT_EQ(SizeTrueType(context, font), 512u);
  // A directory beyond the header sector that the first 64 KiB do hold.
  auto tall = Sectors(4);
  Put(tall, 0, "\x00\x01\x00\x00\x00\x40\x04\x00\x00\x06\x00\x00"s);
  PutBe(tall, 12 + 63 * 16 + 8, 7000, 4);
  PutBe(tall, 12 + 63 * 16 + 12, 300, 4);
  MemoryDevice tallDevice(tall);
  Position(context, tallDevice, 0);
  EXPECT_EQ(SizeTrueType(context, std::span<const std::uint8_t>(tall).first(512)), 7300u);
}

TEST(SizeRules, MidiTrackLengthsAreCheckedAndSummed) {
  auto midi = Sectors(1);
  Put(midi, 0, "MThd\x00\x00\x00\x06\x00\x01\x00\x02\x01\xE0"s);
  Put(midi, 14, "MTrk"s);
  PutBe(midi, 18, 20, 4);
  Put(midi, 42, "MTrk"s);
  PutBe(midi, 46, 30, 4);
  auto image = Sectors(6, 0x33);
  Place(image, 0, midi);
  MemoryDevice device(image);
  CarveContext context;
  CarvedFileHit hit;
  ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.size, 14u + 28u + 38u);

  // A length near 4 GiB neither wraps nor reaches past the bytes there are.
  PutBe(image, 46, 0xFFFFFFFF, 4);
  MemoryDevice huge(image);
  ASSERT_EQ(Identify(context, huge, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.size, 512u);
  // A track that never turns up: the file runs to the end of the medium.
  Put(image, 42, "XTrk"s);
  MemoryDevice missing(image);
  ASSERT_EQ(Identify(context, missing, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.size, 6u * 512);
}

TEST(SizeRules, ZipEndsWithTheEndRecordThatClosesIt) {
  // A ZIP that stores another ZIP: the inner end record comes first.
  const auto nested = FixtureFile("documents", "zip");
  ASSERT_FALSE(nested.empty());
  for (const bool sound : {true, false}) {
    SCOPED_TRACE(sound);
    auto image = Sectors(20, 0x41);
    Place(image, 0, nested);
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(nested.size()), image.end(), 0);
    // An end record in data that follows the archive before any boundary.
    Place(image, 4096, {'P', 'K', 5, 6});
    // The outer record's central directory offset, wrong: no record closes the file, and
    // the last one of the chunk counts.
    if (!sound) ++image[nested.size() - 22 + 16];
    MemoryDevice device(image);
    CarveContext context;
    CarvedFileHit hit;
    ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
    EXPECT_EQ(hit.code, FileTypeCode::kZip);
    EXPECT_EQ(hit.size, sound ? nested.size() : 4096u + 22u);
  }
}

TEST(SizeRules, CompoundDocumentSizeNeedsASoundAllocationTable) {
  const auto word = FixtureFile("documents", "doc");
  ASSERT_EQ(word.size(), 14848u);
  auto image = Sectors(64);
  Place(image, 0, word);
  {
    MemoryDevice device(image);
    CarveContext context;
    Position(context, device, 0);
    EXPECT_EQ(CompoundDocumentSizeFromAllocationTable(context, device.Sector(0)), 14848u);
  }
  // Allocation-table counts the header cannot describe without DIFAT sectors.
  for (const std::uint32_t fatSectors : {0u, 110u}) {
    auto header = word;
    PutLe(header, 44, fatSectors, 4);
    MemoryDevice device(image);
    CarveContext context;
    Position(context, device, 0);
    EXPECT_EQ(CompoundDocumentSizeFromAllocationTable(context, header), 0u) << fatSectors;
  }
  // An unreadable allocation-table sector: no size from the table, and identification
  // falls back to looking for the end.
  {
    ByteReader header(word);
    const std::uint32_t lastFat = header.le32At(76);
    MemoryDevice device(image);
    device.medium->FailSector(1 + lastFat);
    CarveContext context;
    Position(context, device, 0);
    EXPECT_EQ(CompoundDocumentSizeFromAllocationTable(context, device.Sector(0)), 0u);
    CarvedFileHit hit;
    ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
    // That sector follows the header, so the classification cannot read it either.
    EXPECT_EQ(hit.code, FileTypeCode::kOle);
    EXPECT_EQ(hit.size, (1 + lastFat) * 512u);  // up to the unreadable sector
  }
}

TEST(SizeRules, DifatChainThatLoopsEnds) {
  auto image = Sectors(16);
  Put(image, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"s);
  PutLe(image, 30, 9, 2);
  PutLe(image, 44, 200, 4);  // allocation-table sectors
  PutLe(image, 68, 4, 4);    // first DIFAT sector: medium sector 5
  PutLe(image, 72, 50000, 4);
  PutLe(image, 5 * 512 + 127 * 4, 4, 4);  // which names itself as the next
  PutLe(image, 5 * 512 + 90 * 4, 8, 4);   // (200 - 109) % 127 = 91: entry 90
  std::fill(image.begin() + 9 * 512, image.begin() + 10 * 512, 0xFF);  // all free
  MemoryDevice device(image);
  CarveContext context;
  Position(context, device, 0);
  EXPECT_EQ(CompoundDocumentSizeFromAllocationTable(context, device.Sector(0)),
            (200u * 128 + 1 - 128) * 512);
  // A chain cut short by an end-of-chain entry gives no size.
  PutLe(image, 5 * 512 + 127 * 4, 0xFFFFFFFE, 4);
  MemoryDevice cut(image);
  Position(context, cut, 0);
  EXPECT_EQ(CompoundDocumentSizeFromAllocationTable(context, cut.Sector(0)), 0u);
}

struct ProgressLog {
  int calls = 0;
  std::int32_t answer = 0;
  std::int32_t lastStep = 0;
  std::uint64_t lastDone = 0;
};

std::int32_t RecordProgress(void* context, std::int32_t step, std::int32_t, std::int32_t,
                            std::uint64_t done, std::uint64_t, std::uint64_t, std::int32_t) {
  auto* log = static_cast<ProgressLog*>(context);
  ++log->calls;
  log->lastStep = step;
  log->lastDone = done;
  return log->answer;
}

TEST(SizeRules, ProgressIsReportedPerChunkAndCanStopTheRule) {
  // A PSD runs to the end of a medium of 300 sectors: three chunks.
  auto image = Sectors(301, 0x11);
  Put(image, 0, "8BPS"s);
  MemoryDevice device(image);
  const auto run = [&](ProgressLog& log, std::uint64_t total, CarvedFileHit& hit) {
    CarveContext context;
    context.progress.callback = RecordProgress;
    context.progress.callbackContext = &log;
    CarveCandidate candidate{.medium = &device.device,
                             .sector = device.Sector(0),
                             .sectorsDone = 1000,
                             .totalSectors = total};
    return IdentifyAndSize(context, candidate, hit);
  };
  ProgressLog log;
  CarvedFileHit hit;
  ASSERT_EQ(run(log, 2000, hit), result::kSuccess);
  EXPECT_EQ(hit.size, 301u * 512);
  EXPECT_EQ(log.calls, 3);
  EXPECT_EQ(log.lastDone, 1300u);
  EXPECT_EQ(log.lastStep, 1300 * 100 / 2000 + 10);

  ProgressLog zeroTotal;
  ASSERT_EQ(run(zeroTotal, 0, hit), result::kSuccess);
  EXPECT_EQ(zeroTotal.lastStep, 10);

  ProgressLog cancel{.answer = result::kCancelled};
  EXPECT_EQ(run(cancel, 2000, hit), result::kCancelled);
  EXPECT_EQ(cancel.calls, 1);
  EXPECT_EQ(hit.size, 512u);

  ProgressLog stop{.answer = 5};
  EXPECT_EQ(run(stop, 2000, hit), result::kSuccess);
  EXPECT_EQ(hit.size, 512u);
}

// A transport stream is carved once: a stream sector right after a stream sector continues
// it, and a stream sector inside a range carved before is not carved again.
TEST(SizeRules, TransportStreamsAreCarvedOnce) {
  const auto ts = FixtureFile("media", "ts");
  ASSERT_EQ(ts.size() % 188, 0u);
  auto image = Sectors(64);
  Place(image, 512, ts);
  const std::uint64_t streamSectors = (ts.size() + 511) / 512;
  MemoryDevice device(image);
  CarveContext context;
  CarvedFileHit hit;
  ASSERT_EQ(Identify(context, device, 1, hit), result::kSuccess);
  EXPECT_EQ(hit.code, FileTypeCode::kTs);
  EXPECT_EQ(hit.size, ts.size());
  ASSERT_EQ(context.probe.tsRanges.size(), 1u);
  EXPECT_EQ(context.probe.tsRanges.Ranges()[0], (TsRange{1, streamSectors}));

  // Packets realigned on a sector inside the carved range.
  auto realigned = image;
  std::copy(ts.begin(), ts.begin() + 4096, realigned.begin() + 6 * 512);
  MemoryDevice inside(realigned);
  context.probe.previousWasTs = false;
  EXPECT_EQ(Identify(context, inside, 6, hit), result::kInvalidParameter);
  context.StartScan();
  ASSERT_EQ(Identify(context, inside, 6, hit), result::kSuccess);
  EXPECT_EQ(hit.code, FileTypeCode::kTs);

  // The sector before holds packet starts that run on into the candidate.
  auto continued = Sectors(64);
  Place(continued, 512, ts);
  Place(continued, 512 + 47 * 512, std::vector<std::uint8_t>(ts.begin(), ts.begin() + 4096));
  for (std::size_t p = 512 + 47 * 512 - 188; p > 512; p -= 188) continued[p] = 0x47;
  MemoryDevice stream(continued);
  CarveContext fresh;
  fresh.probe.previousWasTs = true;
  EXPECT_EQ(Identify(fresh, stream, 48, hit), result::kInvalidParameter);
  fresh.probe.previousWasTs = false;
  EXPECT_EQ(Identify(fresh, stream, 48, hit), result::kSuccess);
}

}  // namespace
}  // namespace keldrive::testing
