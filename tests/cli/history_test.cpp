#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/scan_history.h"
#include "cli/command.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunHistory(const std::vector<std::string>& words, const std::string& root) {
  std::ostringstream out, err;
  Context context{out, err, {}, false, root};
  const int code = Run(words, context);
  return {code, out.str(), err.str()};
}

TEST(CliHistory, FreshMachineShowsAnEmptyListing) {
  testing::TempDir dir;
  const std::string root = dir.File("Keldrive/ScanLog");
  Outcome result = RunHistory({"history"}, root);
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(result.out, "No scans recorded yet in " + root + ".\n");
  EXPECT_EQ(result.err, "");

  result = RunHistory({"history", "--json"}, root);
  ASSERT_EQ(result.code, kExitOk);
  EXPECT_NE(result.out.find("\"scanNumber\": 0"), std::string::npos);
  EXPECT_NE(result.out.find("\"entries\": []"), std::string::npos) << result.out;
  EXPECT_FALSE(std::filesystem::exists(root)) << "looking creates nothing";
}

TEST(CliHistory, ListsAreasAndImagesWithTheirProgress) {
  testing::TempDir dir;
  const std::string root = dir.File("ScanLog");
  const std::string image = dir.File("card.img");
  testing::WriteFile(image, std::string(512, '\0'));
  {
    ScanHistory history(root, [](const std::string&, std::uint64_t& out) {
      out = 77;
      return result::kSuccess;
    });
    ASSERT_EQ(history.RecordScanProgress("/media/stick", 1, 2048, 1000, {0, 0, 0, 400, 12},
                                         root + "/1/", ""),
              result::kSuccess);
    ASSERT_EQ(history.RecordScanProgress("", 0, 0, 1, {0, 1, 1, 1, 3}, root + "/2/", image),
              result::kSuccess);
  }
  Outcome result = RunHistory({"history"}, root);
  ASSERT_EQ(result.code, kExitOk) << result.err;
  std::istringstream lines(result.out);
  std::string header, area, imageRow;
  std::getline(lines, header);
  std::getline(lines, area);
  std::getline(lines, imageRow);
  EXPECT_TRUE(header.starts_with("NO")) << header;
  EXPECT_NE(area.find("area"), std::string::npos);
  EXPECT_NE(area.find("400 (40%)"), std::string::npos) << area;
  EXPECT_NE(area.find(root + "/1/"), std::string::npos);
  EXPECT_NE(imageRow.find("image"), std::string::npos);
  EXPECT_NE(imageRow.find(image), std::string::npos);
  EXPECT_NE(imageRow.find("1 (100%)"), std::string::npos) << imageRow;

  result = RunHistory({"history", "--json"}, root);
  ASSERT_EQ(result.code, kExitOk);
  EXPECT_NE(result.out.find("\"kind\": \"image\""), std::string::npos);
  EXPECT_NE(result.out.find("\"freeBytes\": 77"), std::string::npos);
  EXPECT_NE(result.out.find("\"filesFound\": 12"), std::string::npos);
}

TEST(CliHistory, DamagedEntriesAreReported) {
  testing::TempDir dir;
  const std::string root = dir.File("ScanLog");
  std::vector<std::uint8_t> bytes(8 + 1120, 'x');  // an entry whose paths never end
  testing::WriteFile(std::filesystem::path(root) / "config", bytes);
  const Outcome result = RunHistory({"history"}, root);
  EXPECT_EQ(result.code, kExitOk);
  EXPECT_NE(result.out.find("No scans recorded yet"), std::string::npos);
  EXPECT_EQ(result.err, "keldrive: " + root + "/config: 1 damaged entries were left out\n");
  EXPECT_EQ(RunHistory({"history", "--help"}, root).out.rfind("Usage: keldrive history", 0), 0u);
}

}  // namespace
}  // namespace keldrive::cli
