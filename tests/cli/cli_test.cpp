#include <gtest/gtest.h>

#include <sstream>

#include "cli/command.h"
#include "cli/json_output.h"
#include "support/fake_system_tree.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunWords(const std::vector<std::string>& words, const platform::SystemRoots& roots = {}) {
  std::ostringstream out, err;
  Context context{out, err, roots, false};
  const int code = Run(words, context);
  return {code, out.str(), err.str()};
}

void AddTwoDisks(testing::FakeSystemTree& tree) {
  tree.AddDisk({.name = "sda", .sectors512 = 1'000'000, .majorMinor = "8:0"});
  tree.AddDisk({.name = "sdb", .sectors512 = 4'000'000, .bus = "usb", .majorMinor = "8:16"});
  tree.AddPartition("sdb", {.name = "sdb1",
                            .number = 1,
                            .start512 = 2048,
                            .sectors512 = 2'000'000,
                            .majorMinor = "8:17"});
  tree.SetUdevProperties("8:17", "ID_FS_TYPE=vfat\nID_FS_VERSION=FAT32\nID_FS_LABEL=STICK");
}

TEST(Cli, ListPrintsAlignedColumns) {
  testing::FakeSystemTree tree;
  AddTwoDisks(tree);
  const Outcome result = RunWords({"list"}, tree.roots());
  ASSERT_EQ(result.code, kExitOk) << result.err;
  std::istringstream lines(result.out);
  std::string header, disk, volume, gap;
  std::getline(lines, header);
  std::getline(lines, disk);
  std::getline(lines, volume);
  std::getline(lines, gap);
  EXPECT_EQ(header.find("DISK"), 0u);
  EXPECT_NE(disk.find("disk"), std::string::npos);
  EXPECT_NE(volume.find("FAT32"), std::string::npos);
  EXPECT_NE(volume.find("STICK"), std::string::npos);
  EXPECT_NE(gap.find("unallocated"), std::string::npos);
  // Every row lines up under the header: the START column ends at the same place.
  const auto startEnd = header.find("START") + 5;
  EXPECT_EQ(volume.substr(startEnd - 4, 4), "2048");
}

TEST(Cli, ListSaysSoWhenThereAreNoDisks) {
  testing::FakeSystemTree tree;
  Outcome result = RunWords({"list"}, tree.roots());
  EXPECT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(result.out.find("No disks found."), 0u) << result.out;
  result = RunWords({"list", "--json"}, tree.roots());
  EXPECT_EQ(result.out, "[]\n");
}

TEST(Cli, ListAsJson) {
  testing::FakeSystemTree tree;
  AddTwoDisks(tree);
  const Outcome result = RunWords({"list", "--json"}, tree.roots());
  ASSERT_EQ(result.code, kExitOk);
  EXPECT_EQ(result.out.front(), '[');
  EXPECT_NE(result.out.find("\"fileSystem\": \"FAT32\""), std::string::npos);
  EXPECT_NE(result.out.find("\"startSector\": 2002048"), std::string::npos) << "the gap";
  EXPECT_NE(result.out.find("\"removable\": true"), std::string::npos);
  EXPECT_NE(result.out.find("\"number\": 3"), std::string::npos);
}

TEST(Cli, HelpVersionAndUsageErrors) {
  struct Case {
    std::vector<std::string> words;
    int code;
    std::string inOut;
    std::string inErr;
  };
  const Case cases[] = {
      {{"--help"}, kExitOk, "Commands:", ""},
      {{}, kExitUsage, "Usage:", ""},
      {{"--version"}, kExitOk, "keldrive " KELDRIVE_VERSION, ""},
      {{"list", "--help"}, kExitOk, "Usage: keldrive list", ""},
      {{"list", "-h"}, kExitOk, "Usage: keldrive list", ""},
      {{"frobnicate"}, kExitUsage, "", "unknown command 'frobnicate'"},
      {{"list", "--bogus"}, kExitUsage, "", "unknown option --bogus"},
      {{"info"}, kExitUsage, "", "needs one MEDIUM"},
      {{"dump", "x.img", "0", "65"}, kExitUsage, "", "COUNT from 1 to 64"},
  };
  for (const Case& c : cases) {
    const Outcome result = RunWords(c.words);
    EXPECT_EQ(result.code, c.code) << c.inOut << c.inErr;
    EXPECT_NE(result.out.find(c.inOut), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
  }
}

TEST(Cli, InfoAndDumpOfAnImage) {
  testing::TempDir dir;
  std::vector<std::uint8_t> bytes(1'000'000);
  bytes[512 + 3] = 'K';
  testing::WriteFile(dir.File("disk.img"), bytes);

  Outcome result = RunWords({"info", dir.File("disk.img"), "--json"});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_NE(result.out.find("\"sectors\": 1953"), std::string::npos);

  result = RunWords({"dump", dir.File("disk.img"), "1"});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(result.out.substr(0, 30), "000000000200  00 00 00 4b 00 0");

  result = RunWords({"dump", dir.File("disk.img"), "1953"});
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_NE(result.err.find("invalid parameter or range beyond the medium"), std::string::npos);
}

TEST(Cli, AMediumThatCannotBeOpenedIsNamedWithTheReason) {
  testing::TempDir dir;
  const std::string missing = dir.File("nothing.img");
  Outcome result = RunWords({"info", missing});
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_EQ(result.err, "keldrive: " + missing + ": no such file or device\n");

  result = RunWords({"info", dir.path().string()});
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_NE(result.err.find("is a folder"), std::string::npos);

  testing::FakeSystemTree tree;
  result = RunWords({"info", "7"}, tree.roots());
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_NE(result.err.find("no medium number 7"), std::string::npos);
}

TEST(JsonOutput, EscapesControlsAndReplacesInvalidUtf8) {
  std::ostringstream out;
  WriteJson(out, Json{{"name", "a\"b\\c\n\x01 caf\xC3\xA9 \xFF\xE9t\xC3"}});
  EXPECT_EQ(out.str(),
            "{\n  \"name\": \"a\\\"b\\\\c\\n\\u0001 caf\xC3\xA9 \uFFFD\uFFFDt\uFFFD\"\n}\n");
}

}  // namespace
}  // namespace keldrive::cli
