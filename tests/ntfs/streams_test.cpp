// Named data streams of deleted files (tests/fixtures/ntfs/make_streams.py) are found
// files of their own, "file:stream", and come back byte-exact under that name.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/recovery_target.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "platform/path_info.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

enum Column { kRecord, kKind, kDeleted, kResident, kSize, kSha256, kStream, kPath };

TEST(NtfsStreams, DeletedFilesAndTheirStreamsComeBackByteExactAsFileColonStream) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("ntfs/streams.img.gz", dir, "streams.img");
  CFastNtfsRecovery engine(
      ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("p"), nullptr});
  ASSERT_EQ(engine.AttachImageFile(image, 1), result::kSuccess);
  ASSERT_EQ(engine.Scan(""), result::kSuccess);
  const auto listed = testing::ListAllFiles(engine);

  int streams = 0;
  for (const auto& row : testing::LoadTruthTable("ntfs/streams.tsv")) {
    if (row[kKind] == "d") continue;
    const std::string path = row[kKind] == "s" ? row[kPath] + ":" + row[kStream] : row[kPath];
    if (row[kDeleted] != "yes") {
      EXPECT_FALSE(listed.contains(path)) << "live: " << path;
      continue;
    }
    ASSERT_TRUE(listed.contains(path)) << path;
    const FoundFile& file = listed.at(path);
    EXPECT_EQ(file.size, std::stoull(row[kSize])) << path;
    // Written under its own name, ":" and all, as this platform's file systems take it.
    const std::string target =
        dir.File("out/" + std::to_string(streams) + "/" + SafeFileName(file.Name()));
    ASSERT_EQ(engine.RecoverItem(file, target, 0), result::kSuccess) << path;
    EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(target)), row[kSha256]) << path;
    if (row[kKind] == "s") {
      EXPECT_NE(target.find(':', target.rfind('/')), std::string::npos) << target;
      ++streams;
    }
  }
  EXPECT_GE(streams, 7);
}

TEST(NtfsStreams, TargetNamesKeepTheStreamColonWhereThePlatformTakesItAndOtherwiseReplaceIt) {
  EXPECT_EQ(PortableFileName("a.txt:Zone.Identifier"), "a.txt_Zone.Identifier");
  EXPECT_EQ(SafeFileName("a.txt:summary"),
            platform::kNamesMayHoldColon ? "a.txt:summary" : "a.txt_summary");
  EXPECT_EQ(SafeFileName("x/y\\z"), "x_y_z");
}

}  // namespace
}  // namespace keldrive
