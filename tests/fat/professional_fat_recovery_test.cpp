#include "fat/professional_fat_recovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fat/dir_entry.h"
#include "fat/entry_name.h"
#include "platform/memory_medium.h"
#include "support/engine_listing.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint16_t kDate2020 = (40 << 9) | (1 << 5) | 1;
constexpr std::uint16_t kNoon = 12 << 11;

std::array<std::uint8_t, 32> Entry(const char (&name)[12], std::uint8_t attributes,
                                   std::uint32_t cluster, std::uint32_t size = 0) {
  std::array<std::uint8_t, 32> e{};
  std::memcpy(e.data(), name, 11);
  e[11] = attributes;
  const auto put16 = [&](std::size_t at, std::uint32_t v) {
    e[at] = static_cast<std::uint8_t>(v);
    e[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  put16(14, kNoon);
  put16(16, kDate2020);
  put16(18, kDate2020);
  put16(20, cluster >> 16);
  put16(22, kNoon);
  put16(24, kDate2020);
  put16(26, cluster & 0xFFFF);
  put16(28, size & 0xFFFF);
  put16(30, size >> 16);
  return e;
}

// One long-name piece of `text` (piece `index` from 1), for the short name `shortName`.
std::array<std::uint8_t, 32> LongPiece(std::uint8_t sequence, const std::u16string& text,
                                       std::size_t index, const char (&shortName)[12]) {
  std::array<std::uint8_t, 32> e{};
  e[0] = sequence;
  e[11] = fat_attr::kLongName;
  e[13] = LongNameChecksum(
      std::span<const std::uint8_t, 11>(reinterpret_cast<const std::uint8_t*>(shortName), 11));
  static constexpr std::array<std::size_t, 13> kOffsets{1,  3,  5,  7,  9,  14, 16,
                                                        18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < 13; ++i) {
    const std::size_t at = (index - 1) * 13 + i;
    const char16_t c = at < text.size() ? text[at] : (at == text.size() ? u'\0' : u'\xFFFF');
    e[kOffsets[i]] = static_cast<std::uint8_t>(c);
    e[kOffsets[i] + 1] = static_cast<std::uint8_t>(c >> 8);
  }
  return e;
}

// A medium built sector by sector, then walked as the combined engine walks it.
struct CraftedMedium {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(4096 * kSector, 0);

  void Put(std::uint64_t sector, std::size_t slot, const std::array<std::uint8_t, 32>& entry) {
    std::memcpy(bytes.data() + sector * kSector + slot * 32, entry.data(), 32);
  }
  // A folder's first sector: "." and ".." and then `entries`.
  void Folder(std::uint64_t sector, std::uint32_t self, std::uint32_t parent,
              std::vector<std::array<std::uint8_t, 32>> entries = {}) {
    Put(sector, 0, Entry(".          ", fat_attr::kDirectory, self));
    Put(sector, 1, Entry("..         ", fat_attr::kDirectory, parent));
    for (std::size_t i = 0; i < entries.size(); ++i) Put(sector, i + 2, entries[i]);
  }
  void Fill(std::uint64_t sector, std::uint8_t value) {
    std::memset(bytes.data() + sector * kSector, value, kSector);
  }
};

struct Scanned {
  testing::TempDir dir;
  std::unique_ptr<CProfessionalFatRecovery> engine;
  std::map<std::string, FoundFile> files;

  explicit Scanned(const CraftedMedium& medium, bool finish = true) {
    const std::string folder = dir.File("scan");
    engine = std::make_unique<CProfessionalFatRecovery>(
        ScanEnvironment{[folder] { return folder; }, dir.File("preview"), nullptr});
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::make_unique<platform::MemoryMedium>(medium.bytes)),
              result::kSuccess);
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine->AttachDevice(std::move(device), 0, sectors, 1), result::kSuccess);
    EXPECT_EQ(engine->BeginFatScan(""), result::kSuccess);
    EXPECT_EQ(engine->SeedFatGeometry(), result::kSuccess);
    for (std::uint64_t s = 0; s < sectors; ++s) {
      const auto sector = std::span<const std::uint8_t>(medium.bytes).subspan(s * kSector, kSector);
      if (IsDotPairSector(sector)) {
        engine->OnFolderStartSector(sector, s);
      } else if (IsFatDirectorySector(sector)) {
        engine->OnFatDirectorySector(sector, s);
      }
    }
    if (!finish) return;
    EXPECT_EQ(engine->FinishFatScan(), result::kSuccess);
    files = testing::ListAllFiles(*engine);
  }
};

// Folders 10 and 26 at sectors 600 and 728: 8 sectors a cluster, cluster 2 at 536.
CraftedMedium TwoFolders() {
  CraftedMedium m;
  m.Folder(600, 10, 0,
           {Entry("SUB        ", fat_attr::kDirectory, 26), Entry("NOTES   TXT", 0x20, 40, 700)});
  m.Folder(728, 26, 10, {Entry("A       TXT", 0x20, 50, 10)});
  return m;
}

TEST(ProfessionalFatRecovery, DerivesAGeometryFromTwoFolderStartsOnlyWithPowerOfTwoSpacing) {
  struct Case {
    std::uint32_t clusterA;
    std::uint64_t sectorA;
    std::uint32_t clusterB;
    std::uint64_t sectorB;
    std::uint32_t spc;  // 0: no geometry
    std::uint64_t dataStart;
  };
  const Case cases[] = {
      {10, 600, 26, 728, 8, 536},  // the worked example
      {10, 600, 11, 601, 1, 592},  // one sector a cluster
      {10, 600, 13, 609, 0, 0},    // three sectors a cluster
      {10, 600, 12, 612, 0, 0},    // six
      {10, 600, 11, 856, 0, 0},    // 256: more than a cluster can have
      {26, 600, 10, 728, 0, 0},    // the higher cluster lies before the lower one
      {10, 20, 11, 148, 0, 0},     // cluster 2 would lie before the volume
  };
  for (const Case& c : cases) {
    CraftedMedium m;
    m.Folder(c.sectorA, c.clusterA, 0);
    m.Folder(c.sectorB, c.clusterB, 0);
    Scanned scan(m, false);
    const auto& geometries = scan.engine->Geometries();
    SCOPED_TRACE(std::to_string(c.clusterA) + "@" + std::to_string(c.sectorA) + ", " +
                 std::to_string(c.clusterB) + "@" + std::to_string(c.sectorB));
    if (c.spc == 0) {
      EXPECT_TRUE(geometries.empty());
      continue;
    }
    ASSERT_EQ(geometries.size(), 1u);
    EXPECT_EQ(geometries[0].sectorsPerCluster, c.spc);
    EXPECT_EQ(geometries[0].DataSector(), c.dataStart);
  }
}

TEST(ProfessionalFatRecovery, RebuildsTheTreeAndListsFilesFoundBeforeAnyGeometry) {
  CraftedMedium m = TwoFolders();
  Scanned scan(m);
  // NOTES.TXT lies in the first folder seen, before a second one gave the geometry.
  EXPECT_EQ(scan.files.size(), 2u);
  ASSERT_TRUE(scan.files.contains("LostFolder10/NOTES.TXT"));
  ASSERT_TRUE(scan.files.contains("LostFolder10/SUB/A.TXT"));
  const FoundFile& notes = scan.files.at("LostFolder10/NOTES.TXT");
  EXPECT_EQ(notes.sourceEngine, static_cast<std::uint32_t>(SourceEngine::kProfessionalFat));
  EXPECT_EQ(notes.clusterBytes, 8 * kSector);
  EXPECT_EQ(notes.dataAreaSector, 536u);
  EXPECT_EQ(notes.entrySector, 600u);
  EXPECT_EQ(notes.size, 700u);
  EXPECT_EQ(scan.engine->PendingFiles(), 0u);
}

TEST(ProfessionalFatRecovery, NamesFoldersSeenOnlyThroughTheirSubFoldersLostFolder) {
  CraftedMedium m;
  // Folder 10 is gone; its sub-folder 26 names it through "..". Folder 42 only gives the
  // geometry.
  m.Folder(728, 26, 10, {Entry("A       TXT", 0x20, 50, 10)});
  m.Folder(856, 42, 0);
  Scanned scan(m);
  EXPECT_TRUE(scan.files.contains("LostFolder10/LostFolder26/A.TXT"));
  EXPECT_EQ(scan.files.size(), 1u);
}

TEST(ProfessionalFatRecovery, TakesAVolumeLabelSectorAsTheRoot) {
  CraftedMedium m = TwoFolders();
  // Cluster 2 at 536, the root of the FAT32 volume: only its label and one file.
  m.Put(536, 0, Entry("OLD VOLUME ", fat_attr::kVolumeLabel, 0));
  m.Put(536, 1, Entry("README  TXT", 0x20, 60, 100));
  Scanned scan(m);
  EXPECT_TRUE(scan.files.contains("README.TXT"));
  EXPECT_TRUE(scan.files.contains("LostFolder10/SUB/A.TXT"));
}

TEST(ProfessionalFatRecovery, JoinsALongNameSplitAcrossTwoSectors) {
  CraftedMedium m = TwoFolders();
  const std::u16string name = u"A rather long name of a report.pdf";  // three pieces
  const char(&shortName)[12] = "ARATHE~1PDF";
  // Folder 26's first sector ends with the first two pieces; the next sector goes on.
  for (std::size_t slot = 3; slot < 14; ++slot) {
    m.Put(728, slot, Entry("FILLER  TXT", 0x20, 70, 1));
  }
  m.Put(728, 14, LongPiece(0x43, name, 3, shortName));
  m.Put(728, 15, LongPiece(0x02, name, 2, shortName));
  m.Put(729, 0, LongPiece(0x01, name, 1, shortName));
  m.Put(729, 1, Entry(shortName, 0x20, 80, 2000));
  Scanned scan(m);
  ASSERT_TRUE(scan.files.contains("LostFolder10/SUB/A rather long name of a report.pdf"));
  EXPECT_EQ(scan.files.at("LostFolder10/SUB/A rather long name of a report.pdf").entrySector, 729u);
}

TEST(ProfessionalFatRecovery, ReadsAFileFromConsecutiveClustersPastThoseOfLiveFilesFound) {
  struct Case {
    const char* what;
    std::uint8_t otherMark;  // the first name byte of a one-cluster file at 51; 0: none
    std::vector<std::uint8_t> clusters;
  };
  const Case cases[] = {
      {"nothing in between", 0, {50, 51, 52}},
      {"a live file in between", 'B', {50, 52, 53}},
      {"a deleted file in between", 0xE5, {50, 51, 52}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CraftedMedium m = TwoFolders();
    // A is three clusters long; each sector of cluster k holds the byte k.
    m.Put(728, 2, Entry("A          ", 0x20, 50, 3 * 8 * kSector - 100));
    if (c.otherMark != 0) {
      auto other = Entry("BB      TXT", 0x20, 51, 100);
      other[0] = c.otherMark;
      m.Put(728, 3, other);
    }
    for (std::uint64_t k = 50; k < 54; ++k) {
      for (std::uint64_t s = 0; s < 8; ++s)
        m.Fill(536 + (k - 2) * 8 + s, static_cast<std::uint8_t>(k));
    }
    Scanned scan(m);
    ASSERT_TRUE(scan.files.contains("LostFolder10/SUB/A"));
    std::vector<std::uint8_t> buffer(3 * 8 * kSector);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::string path;
    ASSERT_EQ(scan.engine->ExtractForPreview(scan.files.at("LostFolder10/SUB/A"), path, buffer,
                                             size, nullptr, nullptr),
              result::kSuccess);
    ASSERT_EQ(size, 3 * 8 * kSector - 100);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(buffer[i * 8 * kSector], c.clusters[i]) << i;
  }
}

TEST(ProfessionalFatRecovery, BoundsTheSectorsItHoldsAndDropsWhatComesAfter) {
  testing::TempDir dir;
  const std::string folder = dir.File("scan");
  CProfessionalFatRecovery engine(ScanEnvironment{[folder] { return folder; }, "", nullptr});
  SectorDevice device;
  ASSERT_EQ(AttachImage(device, std::make_unique<platform::MemoryMedium>(
                                    std::vector<std::uint8_t>(64 * kSector))),
            result::kSuccess);
  ASSERT_EQ(engine.AttachDevice(std::move(device), 0, 64, 1), result::kSuccess);
  ASSERT_EQ(engine.BeginFatScan(""), result::kSuccess);
  // Directory sectors no geometry places: held until the end, up to the bound.
  CraftedMedium m;
  m.Put(0, 0, Entry("FILE    TXT", 0x20, 5, 10));
  const auto sector = std::span<const std::uint8_t>(m.bytes).first(kSector);
  const std::size_t limit = CProfessionalFatRecovery::kMaxHeldBytes / kSector;
  for (std::size_t i = 0; i < limit + 10; ++i) engine.OnFatDirectorySector(sector, 1000 + i * 7);
  EXPECT_EQ(engine.HeldSectors(), limit);
  EXPECT_EQ(engine.DroppedSectors(), 10u);
  EXPECT_EQ(engine.FinishFatScan(), result::kSuccess);
  EXPECT_EQ(engine.HeldSectors(), 0u);
}

TEST(FatEntryName, ShowsShortNamesAsWindowsDoes) {
  struct Case {
    const char* stored;
    std::uint8_t caseBits;
    const char* shown;
  };
  const Case cases[] = {
      {"REPORT  PDF", 0x00, "REPORT.PDF"},
      {"DCIM       ", 0x00, "DCIM"},
      {"DIAGRAM PNG", 0x18, "diagram.png"},
      {"INDEX   TXT", 0x10, "INDEX.txt"},
      {"TODO    TXT", 0x08, "todo.TXT"},
      {"\xE5WRL0001TMP", 0x00, "!WRL0001.TMP"},
      {"\xE5"
       "EACH   JPG",
       0x18, "!each.jpg"},
  };
  for (const Case& c : cases) {
    DirEntry e;
    std::memcpy(e.name.data(), c.stored, 11);
    e.caseFlags = c.caseBits;
    EXPECT_EQ(ShortEntryName(e), c.shown) << c.stored;
  }
}

}  // namespace
}  // namespace keldrive
