#include "carve/header_tests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carve/boundaries.h"
#include "carve/first_byte_index.h"
#include "carve/signature_table.h"
#include "carve_test_support.h"
#include "support/fixtures.h"

namespace keldrive::testing {
namespace {

using namespace std::string_literals;

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// Each test reads only the bytes it is given: headers cut one byte short of what a test
// needs are turned down (and, under the address sanitizer, never read beyond), while the
// full length is accepted. The buffers are exactly as long as stated.
TEST(HeaderTests, NeedTheBytesTheyRead) {
  struct Case {
    const char* name;
    HeaderTest test;
    std::string header;
    FileTypeCode code;
  };
  const std::vector<Case> cases = {
      {"mp3", TestMp3, "ID3\x03\x00\x00\x00\x00\x02\x01"s, FileTypeCode::kMp3},
      {"7z", Test7z, "7z\xBC\xAF\x27"s, FileTypeCode::k7z},
      {"gho", TestGhost, "\xFE\xEF\x00\x00"s, FileTypeCode::kGho},
      {"mid", TestMidi, "MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xE0MTrk"s, FileTypeCode::kMidi},
      {"gif", TestGif, "GIF89a\x01\x00"s, FileTypeCode::kGif},
      {"png", TestPng, "\x89PNG\r\n\x1A\n"s, FileTypeCode::kPng},
      {"rar", TestRar, "Rar!\x1A\x07\x00"s, FileTypeCode::kRar},
      {"sqlite", TestSqlite, "SQLite format 3\x00"s, FileTypeCode::kSqlite},
      {"pdf", TestPdf, "%PDF-"s, FileTypeCode::kPdf},
  };
  SectorProbe probe;
  for (const Case& c : cases) {
    const auto whole = Bytes(c.header);
    EXPECT_EQ(c.test(probe, whole), c.code) << c.name;
    const std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 1);
    EXPECT_EQ(c.test(probe, cut), FileTypeCode::kNone) << c.name;
    EXPECT_EQ(c.test(probe, {}), FileTypeCode::kNone) << c.name;
  }
  // The package test looks 31 bytes in for "[Content_Types].xml" only when 50 are there.
  auto package = std::vector<std::uint8_t>(49, 'x');
  Put(package, 31, "[Content_Types].xm");
  EXPECT_EQ(TestPackage(probe, package), FileTypeCode::kNone);
  // Directories that would reach beyond the bytes are turned down.
  auto icon = Bytes("\x00\x00\x01\x00\x02\x00"s);
  icon.resize(30);
  EXPECT_EQ(TestIco(probe, icon), FileTypeCode::kNone);
  auto font = Bytes("\x00\x01\x00\x00\x00\x20\x01\x00\x00\x05\x00\x02"s);
  font.resize(500);
  EXPECT_EQ(TestTrueType(probe, font), FileTypeCode::kNone);
}

// The Windows program of the fixtures, with its characteristics changed to those of a
// library and a driver: all three are recognised and none is carved.
TEST(HeaderTests, ProgramsLibrariesDriversAndGhostImagesAreNotCarved) {
  MemoryDevice documents(LoadFixture("carve/documents.img.gz"));
  std::uint64_t program = 0;
  for (const auto& row : LoadTruthTable("carve/truth.tsv")) {
    if (row.at(0) == "documents" && row.at(3) == "exe") program = std::stoull(row.at(1));
  }
  ASSERT_NE(program, 0u);
  const auto original = documents.Sector(program);
  std::vector<std::uint8_t> header(original.begin(), original.end());
  const std::size_t peHeader = ByteReader(header).le32At(60);
  const std::size_t at = peHeader + 22;  // the characteristics
  const std::vector<std::pair<std::uint16_t, FileTypeCode>> cases = {
      {0x0102, FileTypeCode::kExe}, {0x2102, FileTypeCode::kDll}, {0x1102, FileTypeCode::kSys}};
  for (const auto& [flags, code] : cases) {
    PutLe(header, at, flags, 2);
    CarveContext context;
    EXPECT_EQ(RecogniseSector(context.probe, header), code);
    CarvedFileHit hit;
    CarveCandidate candidate{.medium = &documents.device, .sector = header, .hitSector = program};
    EXPECT_EQ(IdentifyAndSize(context, candidate, hit), result::kInvalidParameter);
    EXPECT_TRUE(hit.name.empty());
  }
  PutLe(header, at, 0x0100, 2);  // not an executable image
  SectorProbe probe;
  EXPECT_EQ(TestExecutable(probe, header), FileTypeCode::kNone);

  auto ghost = std::vector<std::uint8_t>(512);
  PutLe(ghost, 0, 0xEFFE, 4);
  CarveContext context;
  CarvedFileHit hit;
  CarveCandidate candidate{.medium = &documents.device, .sector = ghost, .hitSector = 1};
  EXPECT_EQ(IdentifyAndSize(context, candidate, hit), result::kInvalidParameter);
  EXPECT_EQ(RecogniseSector(context.probe, ghost), FileTypeCode::kGho);
}

TEST(HeaderTests, CompoundDocumentThatCannotBeReadFurtherIsGeneric) {
  MemoryDevice documents(LoadFixture("carve/documents.img.gz"));
  std::uint64_t word = 0;
  for (const auto& row : LoadTruthTable("carve/truth.tsv")) {
    if (row.at(0) == "documents" && row.at(3) == "doc") word = std::stoull(row.at(1));
  }
  SectorProbe probe;
  probe.medium = &documents.device;
  probe.hitSector = probe.cursorSector = word;
  EXPECT_EQ(TestCompoundDocument(probe, documents.Sector(word)), FileTypeCode::kDoc);
  documents.medium->FailSector(word + 1);
  EXPECT_EQ(TestCompoundDocument(probe, documents.Sector(word)), FileTypeCode::kOle);
  // Only the signature's first half: a Flash source file, reached through the table.
  std::vector<std::uint8_t> fla(512);
  Put(fla, 0, "\xD0\xCF\x11\xE0"s);
  EXPECT_EQ(RecogniseSector(probe, fla), FileTypeCode::kFla);
}

// An M2TS stream: a timestamp, then a program association section. Right after an mts
// hit, only a stream starting at time 0 counts as a new one.
TEST(HeaderTests, MtsFollowsThePreviousIdentification) {
  std::vector<std::uint8_t> sector(512);
  PutLe(sector, 0, 0x1234, 4);
  Put(sector, 4, "\x47\x40\x00\x10\x00\x00\xB0\x11\x00\x00\xC1\x00"s);
  MemoryDevice device(std::vector<std::uint8_t>(8 * 512));
  std::copy(sector.begin(), sector.end(), device.medium->Bytes().begin());
  CarveContext context;
  CarvedFileHit hit;
  ASSERT_EQ(Identify(context, device, 0, hit), result::kSuccess);
  EXPECT_EQ(hit.code, FileTypeCode::kMts);
  EXPECT_TRUE(context.probe.previousWasMts);
  EXPECT_EQ(RecogniseSector(context.probe, sector), FileTypeCode::kNone);
  PutLe(sector, 0, 0, 4);
  EXPECT_EQ(RecogniseSector(context.probe, sector), FileTypeCode::kMts);
}

TEST(FileSystemMetadata, TellsFileSystemSectorsFromFileContents) {
  const auto sector = [](const std::string& head, const std::string& later = "") {
    std::vector<std::uint8_t> s(512, 'x');
    Put(s, 0, head);
    if (!later.empty()) Put(s, 300, later);
    return s;
  };
  EXPECT_TRUE(IsFileSystemMetadata(sector("FILE0")));
  EXPECT_TRUE(IsFileSystemMetadata(sector("INDX(")));
  EXPECT_TRUE(IsFileSystemMetadata(sector("RSTR", "N\0T\0F\0S\0"s)));
  EXPECT_FALSE(IsFileSystemMetadata(sector("RSTR")));  // a restart page without "NTFS"
  EXPECT_FALSE(IsFileSystemMetadata(sector("RSTR", "NTFS")));
  EXPECT_TRUE(IsFileSystemMetadata(sector("$\0S\0T\0A\0"s)));
  EXPECT_TRUE(IsFileSystemMetadata(sector("\xEB\x58\x90MSWIN4.1"s)));
  EXPECT_TRUE(IsFileSystemMetadata(sector("\xEB\x52\x90NTFS    "s)));
  EXPECT_TRUE(
      IsFileSystemMetadata(sector("\xEB\x76\x90"
                                  "EXFAT   "s)));
  EXPECT_FALSE(IsFileSystemMetadata(sector("\xEB\x58\x90MSWIN4.2"s)));
  EXPECT_FALSE(IsFileSystemMetadata(std::vector<std::uint8_t>(512)));
  EXPECT_FALSE(IsFileSystemMetadata(Bytes("FILE0 and a short piece")));
  // A FAT directory sector: two files written on 15 June 2021, then nothing.
  std::vector<std::uint8_t> directory(512);
  const std::uint16_t date = (2021 - 1980) << 9 | 6 << 5 | 15;
  const std::uint16_t time = 10 << 11 | 30 << 5;
  for (const std::size_t at : {0u, 32u}) {
    Put(directory, at, at == 0 ? "PHOTO   JPG\x20"s : "README  TXT\x20"s);
    for (const std::size_t field : {14u, 22u}) PutLe(directory, at + field, time, 2);
    for (const std::size_t field : {16u, 18u, 24u}) PutLe(directory, at + field, date, 2);
    PutLe(directory, at + 26, 5 + at, 2);
    PutLe(directory, at + 28, 100, 4);
  }
  EXPECT_TRUE(IsFileSystemMetadata(directory));
}

}  // namespace
}  // namespace keldrive::testing
