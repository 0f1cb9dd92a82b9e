#include "disk/rescue_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/temp_dir.h"

namespace keldrive {
namespace {

using S = RescueStatus;

SectorRun Sectors(std::uint64_t first, std::uint64_t count) {
  return *SectorRun::Make(first, count);
}

TEST(RescueMap, MarkSplitsAndJoinsAreas) {
  RescueMap map(100);
  map.Mark(Sectors(10, 20), S::kFinished);
  map.Mark(Sectors(40, 10), S::kBadSector);
  map.Mark(Sectors(0, 10), S::kFinished);     // joins the area after it
  map.Mark(Sectors(30, 10), S::kFinished);    // joins the areas on both sides
  map.Mark(Sectors(95, 50), S::kNonTrimmed);  // cut at the end of the map
  EXPECT_EQ(map.Areas(), (std::vector<RescueArea>{{Sectors(0, 40), S::kFinished},
                                                  {Sectors(40, 10), S::kBadSector},
                                                  {Sectors(50, 45), S::kNonTried},
                                                  {Sectors(95, 5), S::kNonTrimmed}}));
  EXPECT_EQ(map.Count(S::kFinished), 40u);
  EXPECT_EQ(map.Count(S::kNonTried), 45u);
  EXPECT_EQ(map.Count(S::kNonTrimmed), 5u);
  EXPECT_EQ(map.StatusOf(44), S::kBadSector);

  // The same areas given in order make the same map; out of order or with a gap, none.
  EXPECT_EQ(RescueMap::FromAreas(map.Areas())->Areas(), map.Areas());
  EXPECT_FALSE(
      RescueMap::FromAreas({{Sectors(0, 10), S::kFinished}, {Sectors(11, 5), S::kBadSector}}));
  EXPECT_FALSE(RescueMap::FromAreas({{Sectors(1, 10), S::kFinished}}));

  // Searching forwards and backwards cuts the found area at the starting point.
  EXPECT_EQ(map.FirstFrom(60, S::kNonTried), Sectors(60, 35));
  EXPECT_EQ(map.FirstFrom(0, S::kNonTrimmed), Sectors(95, 5));
  EXPECT_FALSE(map.FirstFrom(0, S::kNonScraped));
  EXPECT_EQ(map.LastBefore(60, S::kNonTried), Sectors(50, 10));
  EXPECT_EQ(map.LastBefore(100, S::kBadSector), Sectors(40, 10));
  EXPECT_FALSE(map.LastBefore(40, S::kBadSector));
}

TEST(RescueMap, FormatsAndParsesDdrescueMapfiles) {
  RescueMap map(2048);
  map.Mark(Sectors(0, 1001), S::kFinished);
  map.Mark(Sectors(1001, 128), S::kBadSector);
  map.Mark(Sectors(1129, 19), S::kNonScraped);
  map.position = 1129;
  map.phase = RescuePhase::kScraping;
  map.pass = 1;
  const std::string text = FormatRescueMap(map, 512, {"Mapfile. Created by a test"});
  EXPECT_EQ(text,
            "# Mapfile. Created by a test\n"
            "# current_pos  current_status  current_pass\n"
            "0x0008D200     /               1\n"
            "#      pos        size  status\n"
            "0x00000000  0x0007D200  +\n"
            "0x0007D200  0x00010000  -\n"
            "0x0008D200  0x00002600  /\n"
            "0x0008F800  0x00070800  ?\n");
  RescueMap back;
  std::string error;
  ASSERT_EQ(ParseRescueMap(text, 512, back, error), result::kSuccess) << error;
  EXPECT_EQ(back, map);

  // What ddrescue itself may write: no pass (before 1.21), decimal and octal numbers,
  // CRLF line ends, blank lines, empty areas, a current position past the end.
  const std::string ddrescue =
      "# Mapfile. Created by GNU ddrescue version 1.20\r\n"
      "\r\n"
      "0x100000  +\r\n"
      "0  512  +\r\n"
      "512  0  ?\r\n"
      "01000  0x200  -\r\n";
  ASSERT_EQ(ParseRescueMap(ddrescue, 512, back, error), result::kSuccess) << error;
  EXPECT_EQ(back.Areas(), (std::vector<RescueArea>{{Sectors(0, 1), S::kFinished},
                                                   {Sectors(1, 1), S::kBadSector}}));
  EXPECT_EQ(back.phase, RescuePhase::kFinished);
  EXPECT_EQ(back.position, 2u);
}

TEST(RescueMap, RefusesWhatIsNotASoundMapfile) {
  const std::string head = "0x0 ? 1\n";
  struct Case {
    std::string text;
    std::string why;
  };
  const Case cases[] = {
      {"", "no current position"},
      {"# only comments\n", "no current position"},
      {head, "lists no areas"},
      {"0x0 X 1\n0 512 +\n", "unknown current status"},
      {"0x0 ? 0\n0 512 +\n", "current pass"},
      {"zero ? 1\n0 512 +\n", "current position is not a number"},
      {head + "0x200 0x200 +\n", "does not begin at 0"},
      {head + "0 0x400 +\n0x200 0x200 -\n", "overlaps"},
      {head + "0 0x200 +\n0x400 0x200 -\n", "leaves a gap"},
      {head + "0 0x200 x\n", "unknown status"},
      {head + "0 0x200 ++\n", "unknown status"},
      {head + "0 0x200\n", "expected position, size and status"},
      {head + "0 0x200 + extra\n", "expected position, size and status"},
      {head + "0 0x20g +\n", "not a number"},
      {head + "0 -512 +\n", "not a number"},
      {head + "0 0x8000000000000000 +\n", "not a number"},
      {head + "0x7FFFFFFFFFFFFE00 0x400 +\n", "does not begin at 0"},
      {head + "0 0x7FFFFFFFFFFFFE00 +\n0x7FFFFFFFFFFFFE00 0x400 -\n", "ends beyond any disk"},
      {head + "0 0x300 +\n", "boundary of 512-byte sectors"},
  };
  for (const Case& c : cases) {
    RescueMap map;
    std::string error;
    EXPECT_EQ(ParseRescueMap(c.text, 512, map, error), result::kInvalidData) << c.text;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.text << " gave: " << error;
  }
  std::string error;
  RescueMap map;
  ASSERT_EQ(ParseRescueMap(head + "0 0x200 +\n0x200 0x200 x\n", 512, map, error),
            result::kInvalidData);
  EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
}

TEST(RescueMap, SavesWholeAndReadsBackAFileDdrescuelogAgreesWith) {
  testing::TempDir dir;
  const std::string path = dir.File("disk.img.map");
  RescueMap map(4096);
  map.Mark(Sectors(0, 4096), S::kFinished);
  map.Mark(Sectors(7, 1), S::kBadSector);
  map.Mark(Sectors(1001, 128), S::kBadSector);
  map.phase = RescuePhase::kFinished;
  ASSERT_EQ(SaveRescueMap(path, map, 512, {"a test"}), result::kSuccess);
  ASSERT_EQ(SaveRescueMap(path, map, 512, {"saved again over the first"}), result::kSuccess);
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  RescueMap back;
  std::string error;
  ASSERT_EQ(LoadRescueMap(path, 512, back, error), result::kSuccess) << error;
  EXPECT_EQ(back, map);
  EXPECT_EQ(LoadRescueMap(dir.File("missing.map"), 512, back, error), result::kFileNotFound);

  // ddrescue's own tool reads the file and lists the same bad sectors.
  FILE* pipe =
      ::popen(("ddrescuelog -b 512 --list-blocks=- " + path + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string listed;
  char line[64];
  while (std::fgets(line, sizeof line, pipe) != nullptr) listed += line;
  if (::pclose(pipe) != 0) GTEST_SKIP() << "ddrescuelog (gddrescue) is not installed";
  std::string expected = "7\n";
  for (int sector = 1001; sector < 1129; ++sector) expected += std::to_string(sector) + "\n";
  EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace keldrive
