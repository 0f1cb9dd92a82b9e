#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/command.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

// Runs keldrive commands against the demo image with a scan-log folder of their own.
struct DemoSession {
  testing::TempDir dir;
  std::string image;
  DemoSession() { image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img"); }

  Outcome Run(std::vector<std::string> words) {
    std::ostringstream out, err;
    Context context{out, err, {}, false, dir.File("scanlog")};
    const int code = cli::Run(words, context);
    return {code, out.str(), err.str()};
  }
};

std::map<std::string, std::string> TruthHashes() {
  std::map<std::string, std::string> hashes;  // file name as listed → sha256
  for (const auto& row : testing::LoadTruthTable("fat/demo_truth.tsv")) {
    if (row[2] == "file" && row[8] != "-") hashes[row[8]] = row[4];
  }
  return hashes;
}

TEST(RecoveryCommands, ScanListFindAndRecoverTheDemo) {
  DemoSession s;
  const std::string before = testing::Sha256Hex(testing::ReadFileBytes(s.image));

  Outcome r = s.Run({"ls", s.image});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("not scanned yet"), std::string::npos);

  r = s.Run({"scan", s.image});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("16 deleted files"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("photo     9 files"), std::string::npos) << r.out;

  r = s.Run({"ls", s.image, "Holiday 2023/Beach", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("\"path\": \"Holiday 2023/Beach/Sandcastle.jpg\""), std::string::npos);

  r = s.Run({"find", s.image, "--type", "pdf,ZIP"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("Project backup.zip"), std::string::npos);
  EXPECT_NE(r.out.find("Holiday 2023/Mountains/Hotel booking.pdf"), std::string::npos);
  EXPECT_EQ(r.out.find(".jpg"), std::string::npos);

  const std::string to = s.dir.File("recovered");
  r = s.Run({"recover", s.image, "--to", to, "--all", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("\"recovered\": 16"), std::string::npos) << r.out;
  const auto hashes = TruthHashes();
  std::size_t checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(to)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(hashes.contains(name)) << name;
    EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(entry.path())), hashes.at(name)) << name;
    EXPECT_EQ(entry.path().parent_path().parent_path(), std::filesystem::path(to))
        << "DIR/category/name";
    ++checked;
  }
  EXPECT_EQ(checked, 16u);

  // The same again: every name is taken, so each file gets "(1)".
  r = s.Run({"recover", s.image, "--to", to, "--type", "zip"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(std::filesystem::exists(to + "/archive/Project backup(1).zip"));

  r = s.Run({"recover", s.image, "--to", s.dir.File("tree"), "Holiday 2023", "--keep-paths"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(std::filesystem::exists(s.dir.File("tree/Holiday 2023/Beach/Sandcastle.jpg")));

  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(s.image)), before);
}

TEST(RecoveryCommands, RecoverScansFirstAndExplainsMistakes) {
  DemoSession s;
  Outcome r = s.Run({"recover", s.image, "--to", s.dir.File("out"), "--category", "photo"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.err.find("scanning for deleted files"), std::string::npos);
  EXPECT_NE(r.out.find("Recovered 9 files"), std::string::npos);

  const struct {
    std::vector<std::string> words;
    int code;
    const char* message;
  } cases[] = {
      {{"recover", s.image, "--all"}, kExitUsage, "needs MEDIUM --to DIR"},
      {{"recover", s.image, "--to", "x"}, kExitUsage, "needs MEDIUM --to DIR"},
      {{"recover", s.image, "--to", "x", "--all", "Documents"}, kExitUsage, "either"},
      {{"recover", s.image, "--to", "x", "--category", "music"}, kExitUsage, "unknown category"},
      {{"recover", s.image, "--to", s.dir.File("y"), "No such folder"},
       kExitFailure,
       "not found in the scan"},
      {{"ls", s.image, "Nowhere"}, kExitFailure, "no folder \"Nowhere\""},
      {{"ls", s.image, "--scan", "99"}, kExitFailure, "no scan 99"},
      {{"scan", s.dir.File("missing.img")}, kExitFailure, "no such file"},
      {{"scan", s.image, "--mode", "quick"}, kExitUsage, "unknown mode"},
  };
  for (const auto& c : cases) {
    r = s.Run(c.words);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }

  testing::WriteFile(s.dir.File("zeros.img"), std::vector<std::uint8_t>(1 << 20));
  r = s.Run({"scan", s.dir.File("zeros.img")});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("no FAT or NTFS file system found"), std::string::npos) << r.err;
}

TEST(RecoveryCommands, WorkOnNtfsImagesAsOnFat) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("ntfs/ntfs512.img.gz", dir, "ntfs.img");
  const auto run = [&](std::vector<std::string> words) {
    std::ostringstream out, err;
    Context context{out, err, {}, false, dir.File("scanlog")};
    const int code = cli::Run(words, context);
    return Outcome{code, out.str(), err.str()};
  };
  Outcome r = run({"scan", image});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  r = run({"ls", image, "tree/level1", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("\"path\": \"tree/level1/one.bin\""), std::string::npos) << r.out;
  r = run({"recover", image, "--to", dir.File("out"), "tree", "--keep-paths"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const auto bytes = testing::ReadFileBytes(dir.File("out/tree/level1/level2/level3/файл.bin"));
  EXPECT_EQ(testing::Sha256Hex(bytes),
            "a12664b290edcc4ce39726cbf37c8805b291e0bf0463785a9ab85cadf68f88d0");
}

// cat writes the file's bytes alone to standard output; what is not a file is an error.
TEST(RecoveryCommands, CatWritesOneFileWholeAndNothingElse) {
  DemoSession s;
  ASSERT_EQ(s.Run({"scan", s.image}).code, kExitOk);
  const Outcome r = s.Run({"cat", s.image, "Holiday 2023/Beach/Sandcastle.jpg"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(testing::Sha256Hex(std::vector<std::uint8_t>(r.out.begin(), r.out.end())),
            TruthHashes().at("Sandcastle.jpg"));
  EXPECT_EQ(r.err, "");
  const struct {
    std::vector<std::string> words;
    int code;
  } kCases[] = {
      {{"cat", s.image, "Holiday 2023"}, kExitFailure},  // a folder
      {{"cat", s.image, "Holiday 2023/none.jpg"}, kExitFailure},
      {{"cat", s.dir.File("missing.img"), "a.jpg"}, kExitFailure},
      {{"cat", s.image}, kExitUsage},
      {{"cat", s.image, "Recipe.txt", "--scan", "x"}, kExitUsage},
  };
  for (const auto& c : kCases) {
    const Outcome bad = s.Run(c.words);
    EXPECT_EQ(bad.code, c.code) << c.words.back();
    EXPECT_EQ(bad.out, "") << c.words.back();
    EXPECT_NE(bad.err, "") << c.words.back();
  }
}

}  // namespace
}  // namespace keldrive::cli
