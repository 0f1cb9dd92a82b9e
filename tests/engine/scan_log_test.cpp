#include "engine/scan_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/scan_log_name.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

FoundFile File(const std::string& name, std::uint32_t contentOk = 1) {
  FoundFile f;
  f.SetName(name);
  f.contentOk = contentOk;
  f.size = 100;
  return f;
}

FoundFile Folder(const std::string& name, std::uint32_t cluster) {
  FoundFile f;
  f.SetName(name);
  f.isFolder = 1;
  f.startCluster = cluster;
  return f;
}

std::vector<std::string> Names(const std::vector<FoundFile>& records) {
  std::vector<std::string> names;
  for (const FoundFile& r : records) names.emplace_back(r.Name());
  return names;
}

// A log with a root (cluster 2) holding a file and folder DCIM (cluster 5), which holds
// two photos and folder 100 (cluster 7) with one more file.
struct SampleLog {
  testing::TempDir dir;
  ScanLog log;
  SampleLog() {
    EXPECT_EQ(log.Open(dir.path().string(), "Fast_0_2024339 5"), result::kSuccess);
    Add(2, 0, File("notes.txt"));
    Add(2, 0, Folder("DCIM", 5), "DCIM");
    Add(5, 1, File("b.jpg"));
    Add(5, 1, File("A.jpg"));
    Add(5, 1, Folder("100", 7), "100");
    Add(7, 2, File("c.png"));
  }
  std::uint32_t Add(std::uint32_t cluster, std::uint32_t depth, FoundFile record,
                    const char* folderName = nullptr) {
    const std::uint32_t number = log.AppendRecord(record);
    if (folderName != nullptr) {
      log.AddChild(cluster, depth, number, record.startCluster, folderName);
    } else {
      log.AddChild(cluster, depth, number);
    }
    return number;
  }
};

TEST(ScanLog, AScanThatFindsNothingLeavesThreeEmptyFiles) {
  testing::TempDir dir;
  const std::string folder = dir.File("scans/1");
  {
    ScanLog log;
    ASSERT_EQ(log.Open(folder, "Fast_0_2024339 5"), result::kSuccess);
    EXPECT_EQ(log.RecordCount(), 0u);
  }
  for (const char* suffix : {"", "_Relation", "_DirInfo"}) {
    const auto path = std::filesystem::path(folder) / (std::string("Fast_0_2024339 5") + suffix);
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(std::filesystem::file_size(path), 0u) << path;
  }
}

TEST(ScanLog, NamesLogsWithTheMinuteRightAligned) {
  EXPECT_EQ(MakeScanLogName(kQuickLogPrefix, 2048, {2024, 3, 3, 9, 5, 0}), "Fast_2048_2024339 5");
  EXPECT_EQ(MakeScanLogName(kFileTypeLogPrefix, 0, {2024, 12, 31, 23, 59, 0}),
            "File_Type_0_202412312359");
}

TEST(ScanLog, ListsChildrenFilesFirstThenByNameIgnoringCase) {
  SampleLog s;
  s.Add(2, 0, File("b"));
  s.Add(2, 0, Folder("Z", 9), "Z");
  s.Add(2, 0, File("A"));
  s.Add(2, 0, File("broken.jpg", 0));
  s.Add(2, 0, File("broken.pdf", 0));
  std::vector<FoundFile> root;
  ASSERT_EQ(s.log.ListChildren({0, 0}, root), result::kSuccess) << "(0, 0) is the first folder";
  EXPECT_EQ(Names(root),
            (std::vector<std::string>{"A", "b", "broken.pdf", "notes.txt", "DCIM", "Z"}))
      << "a photo whose content check failed is hidden";

  std::vector<FoundFile> dcim;
  ASSERT_EQ(s.log.ListChildren({5, 1}, dcim), result::kSuccess);
  EXPECT_EQ(Names(dcim), (std::vector<std::string>{"A.jpg", "b.jpg", "100"}));
  std::vector<FoundFile> none;
  EXPECT_EQ(s.log.ListChildren({5, 2}, none), result::kSuccess);
  EXPECT_TRUE(none.empty()) << "the key includes the depth";
}

TEST(ScanLog, CountsSubtreeFilesAndBuildsParentChains) {
  SampleLog s;
  std::uint64_t count = 0;
  ASSERT_EQ(s.log.CountSubtreeFiles({0, 0}, count), result::kSuccess);
  EXPECT_EQ(count, 4u);
  ASSERT_EQ(s.log.CountSubtreeFiles({5, 1}, count), result::kSuccess);
  EXPECT_EQ(count, 3u);

  FoundFile deepFile;
  ASSERT_EQ(s.log.ReadRecord(6, deepFile), result::kSuccess);
  std::vector<FoundFile> chain;
  ASSERT_EQ(s.log.BuildParentChain(deepFile, chain), result::kSuccess);
  EXPECT_EQ(Names(chain), (std::vector<std::string>{"100", "DCIM"}));
  EXPECT_EQ(chain[1].recordNumber, 2u);
}

TEST(ScanLog, DamagedRelationsCannotHangTheWalks) {
  SampleLog s;
  // Two more records claim DCIM's folder: its files are still counted once.
  s.Add(2, 0, Folder("DCIM again", 5));
  s.Add(2, 0, Folder("DCIM once more", 5));
  std::uint64_t count = 0;
  ASSERT_EQ(s.log.CountSubtreeFiles({0, 0}, count), result::kSuccess);
  EXPECT_EQ(count, 4u);

  // A cycle of parents: record 2 (DCIM, cluster 5) is filed under folder 7, whose record 5
  // is filed under folder 5.
  testing::TempDir dir;
  ScanLog cyclic;
  ASSERT_EQ(cyclic.Open(dir.path().string(), "log"), result::kSuccess);
  FoundFile a = Folder("a", 5), b = Folder("b", 7), leaf = File("leaf.txt");
  cyclic.AppendRecord(a);
  cyclic.AppendRecord(b);
  cyclic.AppendRecord(leaf);
  cyclic.AddChild(7, 1, a.recordNumber, 5, "a");
  cyclic.AddChild(5, 1, b.recordNumber, 7, "b");
  cyclic.AddChild(5, 2, leaf.recordNumber);
  std::vector<FoundFile> chain;
  ASSERT_EQ(cyclic.BuildParentChain(leaf, chain), result::kSuccess);
  EXPECT_EQ(Names(chain), (std::vector<std::string>{"a", "b"}));
}

TEST(ScanLog, SelectsByTypeWithOtherMode) {
  SampleLog s;
  s.Add(2, 0, File("README"));
  s.Add(2, 0, File("tool.exe"));
  s.Add(2, 0, File("broken.png", 0));
  s.Add(2, 0, File("Thesis.DOCX"));
  std::vector<FoundFile> found;
  ASSERT_EQ(s.log.SelectByType("*.jpg|*.png", found), 1);
  EXPECT_EQ(Names(found), (std::vector<std::string>{"A.jpg", "b.jpg", "c.png"}));

  found.clear();
  ASSERT_EQ(s.log.SelectByType("*.docx|*.other", found), 1);
  EXPECT_EQ(Names(found), (std::vector<std::string>{"README", "Thesis.DOCX", "tool.exe"}));

  found.clear();
  ASSERT_EQ(s.log.SelectByType("*.jp", found), 1);
  EXPECT_TRUE(found.empty()) << "'.jpg' is not inside the list '*.jp'";
  ASSERT_EQ(s.log.SelectByType("*.jpgx", found), 1);
  EXPECT_EQ(found.size(), 2u) << "matching is by substring";
}

TEST(ScanLog, ReopenedLogGoesOnNumberingAfterItsRecords) {
  testing::TempDir dir;
  {
    ScanLog log;
    ASSERT_EQ(log.Open(dir.path().string(), "Pro_Fat_0_2024339 5"), result::kSuccess);
    for (int i = 0; i < 450; ++i) {  // more than one write buffer
      FoundFile f = File("f" + std::to_string(i) + ".txt");
      log.AddChild(2, 0, log.AppendRecord(f));
    }
  }
  ScanLog log;
  ASSERT_EQ(log.Open(dir.path().string(), "Pro_Fat_0_2024339 5"), result::kSuccess);
  EXPECT_EQ(log.RecordCount(), 450u);
  FoundFile more = File("more.txt");
  EXPECT_EQ(log.AppendRecord(more), 451u);
  log.AddChild(2, 0, more.recordNumber);
  FoundFile back;
  ASSERT_EQ(log.ReadRecord(451, back), result::kSuccess) << "read from the queue";
  EXPECT_EQ(back.Name(), "more.txt");
  ASSERT_EQ(log.ReadRecord(17, back), result::kSuccess);
  EXPECT_EQ(back.Name(), "f16.txt");
  EXPECT_EQ(log.ReadRecord(452, back), result::kInvalidParameter);
  EXPECT_EQ(log.ReadRecord(0, back), result::kInvalidParameter);

  std::vector<FoundFile> all;
  ASSERT_EQ(log.ListChildren({2, 0}, all), result::kSuccess);
  EXPECT_EQ(all.size(), 451u);
  EXPECT_EQ(std::filesystem::file_size(log.RecordsPath()), 451u * kFoundFileBytes);
}

TEST(ScanLog, LoadsACraftedRelationAndLeavesItAloneUntilItChanges) {
  testing::TempDir dir;
  const std::string base = dir.File("log");
  std::vector<std::uint8_t> records(5 * kFoundFileBytes);
  for (std::uint32_t i = 0; i < 5; ++i) {
    FoundFile f = File("r" + std::to_string(i + 1));
    f.recordNumber = i + 1;
    SerializeFoundFile(f, std::span<std::uint8_t, kFoundFileBytes>(
                              records.data() + i * kFoundFileBytes, kFoundFileBytes));
  }
  testing::WriteFile(base, records);
  const std::string relation = " | 4294967298 - [1,2,5] | 4294967299 - [3,77,";
  testing::WriteFile(base + "_Relation", relation);

  ScanLog log;
  ASSERT_EQ(log.Open(dir.path().string(), "log"), result::kSuccess);
  ASSERT_EQ(log.Relation().size(), 1u);
  EXPECT_EQ(log.Relation().at((1ull << 32) + 2), (std::vector<std::uint32_t>{1, 2, 5}));
  std::vector<FoundFile> children;
  ASSERT_EQ(log.ListChildren({2, 1}, children), result::kSuccess);
  EXPECT_EQ(Names(children), (std::vector<std::string>{"r1", "r2", "r5"}));
  const auto text = testing::ReadFileBytes(base + "_Relation");
  EXPECT_EQ(std::string(text.begin(), text.end()), relation) << "nothing changed, nothing written";

  log.AddChild(2, 1, 4);
  ASSERT_EQ(log.Flush(), result::kSuccess);
  const auto rewritten = testing::ReadFileBytes(base + "_Relation");
  EXPECT_EQ(std::string(rewritten.begin(), rewritten.end()), " | 4294967298 - [1,2,5,4]")
      << "the damaged tail is gone";
}

}  // namespace
}  // namespace keldrive
