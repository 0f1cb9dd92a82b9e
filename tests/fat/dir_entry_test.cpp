#include "fat/dir_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace keldrive {
namespace {

constexpr std::uint16_t FatDate(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}
constexpr std::uint16_t FatTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

// A directory entry written field by field, as a FAT driver would.
struct Entry {
  std::string name = "PHOTO   JPG";
  std::uint8_t attributes = fat_attr::kArchive;
  std::uint16_t date = FatDate(2021, 6, 15);
  std::uint16_t time = FatTime(10, 30, 20);
  std::uint32_t cluster = 7;
  std::uint32_t size = 12345;

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> b(32);
    std::memcpy(b.data(), name.data(), std::min<std::size_t>(name.size(), 11));
    b[11] = attributes;
    const auto put16 = [&](std::size_t at, std::uint32_t v) {
      b[at] = static_cast<std::uint8_t>(v);
      b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(14, time);
    put16(16, date);
    put16(18, date);
    put16(20, cluster >> 16);
    put16(22, time);
    put16(24, date);
    put16(26, cluster & 0xFFFF);
    put16(28, size & 0xFFFF);
    put16(30, size >> 16);
    return b;
  }
};

Entry Folder(const std::string& name, std::uint32_t cluster) {
  return {.name = name, .attributes = fat_attr::kDirectory, .cluster = cluster, .size = 0};
}

// A long-name piece for `shortName`, holding up to 13 ASCII characters.
std::vector<std::uint8_t> LongName(std::uint8_t sequence, const std::string& text,
                                   const std::string& shortName) {
  std::vector<std::uint8_t> b(32, 0xFF);
  b[0] = sequence;
  b[11] = fat_attr::kLongName;
  b[12] = 0;
  b[13] = LongNameChecksum(std::span<const std::uint8_t, 11>(
      reinterpret_cast<const std::uint8_t*>(shortName.data()), 11));
  b[26] = b[27] = 0;
  static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < 13; ++i) {
    const std::uint16_t c =
        i < text.size() ? static_cast<std::uint8_t>(text[i]) : (i == text.size() ? 0 : 0xFFFF);
    b[kOffsets[i]] = static_cast<std::uint8_t>(c);
    b[kOffsets[i] + 1] = static_cast<std::uint8_t>(c >> 8);
  }
  return b;
}

std::vector<std::uint8_t> Sector(const std::vector<std::vector<std::uint8_t>>& entries) {
  std::vector<std::uint8_t> sector(512);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::memcpy(sector.data() + 32 * i, entries[i].data(), 32);
  }
  return sector;
}

bool Valid(const Entry& e) {
  return IsValidDirEntry(e.Bytes(), {});
}

TEST(FatTime, DecodesDatesTimesAndHundredths) {
  CalendarTime c = FileTimeToCalendar(FatTimeToFileTime(FatDate(2019, 3, 7), FatTime(9, 5, 0)));
  EXPECT_EQ(c.year, 2019);
  EXPECT_EQ(c.month, 3);
  EXPECT_EQ(c.day, 7);
  EXPECT_EQ(c.hour, 9);
  EXPECT_EQ(c.minute, 5);

  // 157 hundredths: one second more and 570 milliseconds.
  c = FileTimeToCalendar(FatTimeToFileTime(FatDate(2019, 3, 7), FatTime(9, 5, 10), 157));
  EXPECT_EQ(c.second, 11);
  EXPECT_EQ(c.millisecond, 570);

  EXPECT_EQ(FatTimeToFileTime(0, 0), 0u) << "month 0 does not exist";
  EXPECT_EQ(FatTimeToFileTime(FatDate(2021, 2, 30), 0), 0u);
  EXPECT_EQ(FatTimeToFileTime(FatDate(2021, 2, 3), FatTime(24, 0, 0)), 0u);
  EXPECT_EQ(FatTimeToFileTime(FatDate(2021, 2, 3), 31), 0u) << "62 seconds";
}

TEST(IsValidDirEntry, JudgesEntriesByTheirFields) {
  struct Case {
    const char* what;
    std::function<void(Entry&)> change;
    bool valid;
  };
  const Case cases[] = {
      {"a live file", [](Entry&) {}, true},
      {"a live file from 1985", [](Entry& e) { e.date = FatDate(1985, 1, 1); }, false},
      {"a deleted file from 1985",
       [](Entry& e) {
         e.date = FatDate(1985, 1, 1);
         e.name[0] = static_cast<char>(0xE5);
       },
       true},
      {"an empty file with a cluster", [](Entry& e) { e.size = 0; }, false},
      {"an empty file without one",
       [](Entry& e) {
         e.size = 0;
         e.cluster = 0;
       },
       true},
      {"a file without the archive bit", [](Entry& e) { e.attributes = fat_attr::kReadOnly; },
       false},
      {"attribute bit 0x40", [](Entry& e) { e.attributes |= 0x40; }, false},
      {"attribute bit 0x80", [](Entry& e) { e.attributes |= 0x80; }, false},
      {"a lower-case name", [](Entry& e) { e.name = "photo   jpg"; }, false},
      {"a name with '?'", [](Entry& e) { e.name = "PHO?O   JPG"; }, false},
      {"a read-only folder",
       [](Entry& e) {
         e = Folder("DCIM       ", 9);
         e.attributes |= 1;
       },
       false},
      {"a live folder with a size",
       [](Entry& e) {
         e = Folder("DCIM       ", 9);
         e.size = 1;
       },
       false},
      {"a volume label",
       [](Entry& e) { e = {.name = "MY STICK   ", .attributes = 8, .cluster = 0, .size = 0}; },
       true},
      {"a label with a cluster",
       [](Entry& e) { e = {.name = "MY STICK   ", .attributes = 8, .cluster = 3, .size = 0}; },
       false},
      {"a system file carrying the label bit", [](Entry& e) { e.attributes = 0x24 | 0x08; }, false},
  };
  for (const Case& c : cases) {
    Entry e;
    c.change(e);
    EXPECT_EQ(Valid(e), c.valid) << c.what;
  }
}

TEST(IsValidDirEntry, LongNamesAndTheDotPair) {
  const auto piece = LongName(0x41, "holiday.jpg", "HOLIDAY JPG");
  EXPECT_TRUE(IsValidDirEntry(piece, {}));
  auto tooMany = piece;
  tooMany[0] = 0x40 | 19;
  EXPECT_FALSE(IsValidDirEntry(tooMany, {}));
  tooMany[0] = 0xE5;
  EXPECT_TRUE(IsValidDirEntry(tooMany, {})) << "a deleted piece has no sequence to check";
  auto withCluster = piece;
  withCluster[26] = 5;
  EXPECT_FALSE(IsValidDirEntry(withCluster, {}));

  // "." with bit 0x40 is still the start of a dot pair, but not without its "..".
  Entry dot = Folder(".          ", 5);
  dot.attributes |= 0x40;
  const Entry dotDot = Folder("..         ", 0);
  EXPECT_TRUE(IsValidDirEntry(dot.Bytes(), dotDot.Bytes()));
  EXPECT_FALSE(IsValidDirEntry(dot.Bytes(), {})) << "no next entry at the end of a buffer";
}

TEST(IsDotPairSector, WantsDotAndDotDotFolders) {
  const Entry dot = Folder(".          ", 5), dotDot = Folder("..         ", 0);
  EXPECT_TRUE(IsDotPairSector(Sector({dot.Bytes(), dotDot.Bytes()})));
  EXPECT_FALSE(IsDotPairSector(Sector({dotDot.Bytes(), dot.Bytes()})));
  Entry sized = dotDot;
  sized.size = 512;
  EXPECT_FALSE(IsDotPairSector(Sector({dot.Bytes(), sized.Bytes()})));
  EXPECT_FALSE(IsDotPairSector(std::span<const std::uint8_t>(dot.Bytes()))) << "one entry only";
}

TEST(IsFatDirectorySector, AcceptsAndRejectsByEachRule) {
  const std::string shortName = "HOLIDAY JPG";
  const auto longPiece = LongName(0x41, "holiday.jpg", shortName);
  const Entry file{.name = shortName};
  const Entry other{.name = "NOTES   TXT", .cluster = 9, .size = 10};

  struct Case {
    const char* what;
    std::vector<std::uint8_t> sector;
    bool accepted;
  };
  std::vector<Case> cases = {
      {"files, then zeros", Sector({longPiece, file.Bytes(), other.Bytes()}), true},
      {"a zero first entry", Sector({}), false},
      {"a short sector", std::vector<std::uint8_t>(20, 0xAB), true},
      {"a live short entry with the wrong checksum",
       Sector({longPiece, other.Bytes(), file.Bytes()}), false},
      {"a deleted short entry ends the run",
       Sector({longPiece, Entry{.name = "\xE5OTES   TXT"}.Bytes()}), true},
  };
  auto garbageAfterEnd = Sector({file.Bytes(), other.Bytes()});
  garbageAfterEnd[200] = 1;
  cases.push_back({"bytes after the end marker", garbageAfterEnd, false});

  auto filler = file.Bytes();
  std::memcpy(filler.data() + 17, filler.data() + 1, 14);
  cases.push_back({"filler repeating itself", Sector({filler}), false});

  Entry badCreation = file;
  badCreation.date = FatDate(2020, 13, 1);
  badCreation.name[0] = static_cast<char>(0xE5);  // so only the sector rule can reject it
  cases.push_back({"a creation date that does not exist", Sector({badCreation.Bytes()}), false});

  cases.push_back({"a dot inside a deleted name",
                   Sector({Entry{.name = "\xE5"
                                         "A.B    TXT"}
                               .Bytes()}),
                   false});
  cases.push_back(
      {"a space inside the name", Sector({Entry{.name = "MY FILE TXT"}.Bytes()}), false});
  cases.push_back({"a volume label with a space, as labels have",
                   Sector({Entry{.name = "NEW VOLUME ",
                                 .attributes = fat_attr::kVolumeLabel,
                                 .cluster = 0,
                                 .size = 0}
                               .Bytes(),
                           file.Bytes()}),
                   true});
  cases.push_back({"a lone high byte",
                   Sector({Entry{.name = "A\x81"
                                         "BCDEF TXT"}
                               .Bytes()}),
                   false});
  cases.push_back({"a double-byte pair",
                   Sector({Entry{.name = "A\x81\x82"
                                         "BCDE TXT"}
                               .Bytes()}),
                   false});
  cases.push_back({"high bytes to the end",
                   Sector({Entry{.name = "AB\x81\x82\x83\x84\x85\x86\x87\x88\x89"}.Bytes()}),
                   true});

  std::vector<std::vector<std::uint8_t>> longRun;
  // The first piece and 19 more with the same checksum.
  for (int i = 0; i < 20; ++i) {
    longRun.push_back(LongName(static_cast<std::uint8_t>(std::min(i + 1, 18)), "x", shortName));
  }
  longRun.push_back(file.Bytes());
  auto runSector = std::vector<std::uint8_t>(1024);
  for (std::size_t i = 0; i < longRun.size(); ++i)
    std::memcpy(runSector.data() + 32 * i, longRun[i].data(), 32);
  cases.push_back({"a run of more than 18 pieces", runSector, false});

  for (const Case& c : cases) {
    EXPECT_EQ(IsFatDirectorySector(c.sector), c.accepted) << c.what;
  }
}

TEST(IsFatDirectorySector, AcceptsSectorsWrittenByMtools) {
  const auto root = testing::LoadFixture("fat_sectors/mtools_root_dir.bin");
  const auto sub = testing::LoadFixture("fat_sectors/mtools_sub_dir.bin");
  ASSERT_EQ(root.size(), 512u);
  ASSERT_EQ(sub.size(), 512u);
  EXPECT_TRUE(IsFatDirectorySector(root)) << "label, long name, deleted entry, folder";
  EXPECT_FALSE(IsDotPairSector(root));
  EXPECT_TRUE(IsDotPairSector(sub));
  EXPECT_FALSE(IsFatDirectorySector(sub)) << "'..' is not a valid entry on its own";
}

}  // namespace
}  // namespace keldrive
