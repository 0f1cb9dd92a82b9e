#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>
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

Outcome RunIn(const std::string& root, const std::vector<std::string>& words) {
  std::ostringstream out, err;
  Context context{out, err, {}, false, root};
  const int code = Run(words, context);
  return {code, out.str(), err.str()};
}

// sha256 → how many files under `folder` have it.
std::multiset<std::string> HashesUnder(const std::string& folder) {
  std::multiset<std::string> hashes;
  if (!std::filesystem::exists(folder)) return hashes;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      hashes.insert(testing::Sha256Hex(testing::ReadFileBytes(entry.path())));
    }
  }
  return hashes;
}

// Images of whole disks, as dd makes them: each volume inside is found, scanned and
// recovered from as if it had been given alone.
class WholeDiskImage : public ::testing::TestWithParam<const char*> {};

TEST_P(WholeDiskImage, IsScannedVolumeByVolume) {
  const std::string name = GetParam();
  testing::TempDir dir;
  const std::string root = dir.File("scanlog");
  const std::string image = testing::ExtractFixture("disks/" + name + ".img.gz", dir, name + ".img");

  // Every volume and gap of the truth is listed, with its place and size.
  const Outcome listed = RunIn(root, {"list", image, "--json"});
  ASSERT_EQ(listed.code, kExitOk) << listed.err;
  const auto areas = nlohmann::json::parse(listed.out)["areas"];
  std::map<int, std::string> volumes;  // partition number → file system
  std::size_t expected = 0;
  for (const auto& row : testing::LoadTruthTable("disks/volumes.tsv")) {
    if (row[0] != name || row[4] == "free") continue;
    ++expected;
    const std::string kind = row[4] == "gap" ? "unallocated" : "volume";
    const bool found = std::any_of(areas.begin(), areas.end(), [&](const nlohmann::json& a) {
      return a["kind"] == kind && a["partition"] == std::stoi(row[5]) &&
             a["startSector"] == std::stoull(row[6]) && a["sectors"] == std::stoull(row[7]) &&
             (kind != "volume" || a["fileSystem"] == row[10]);
    });
    EXPECT_TRUE(found) << kind << " at " << row[6];
    if (row[4] == "partition") volumes[std::stoi(row[5])] = row[10];
  }
  EXPECT_EQ(areas.size(), expected);
  ASSERT_EQ(volumes.size(), 2u);

  // The deleted files of each volume, by their truth.
  std::map<int, std::multiset<std::string>> deleted;
  for (const auto& row : testing::LoadTruthTable("disks/files.tsv")) {
    if (row[0] == name && row[4] == "deleted" && row[5] == "file") {
      deleted[std::stoi(row[1])].insert(row[8]);
    }
  }

  const Outcome scanned = RunIn(root, {"scan", image});
  ASSERT_EQ(scanned.code, kExitOk) << scanned.err;
  const std::string whole = dir.File("whole");
  const Outcome recovered = RunIn(root, {"recover", image, "--to", whole, "--all"});
  ASSERT_EQ(recovered.code, kExitOk) << recovered.err;

  // The image's volumes are numbered in its listing: the first volume is area 1, the
  // second comes after the gap.
  int area = 1;
  for (const auto& [partition, fileSystem] : volumes) {
    const std::string folder = whole + "/volume" + std::to_string(area);
    const auto hashes = HashesUnder(folder);
    for (const std::string& hash : deleted[partition]) {
      EXPECT_EQ(hashes.count(hash), 1u) << fileSystem << " file " << hash << " under " << folder;
    }
    // The same volume scanned alone gives the same files.
    const std::string alone = dir.File("alone" + std::to_string(area));
    const Outcome one =
        RunIn(root, {"recover", image, "--volume", std::to_string(area), "--to", alone, "--all"});
    ASSERT_EQ(one.code, kExitOk) << one.err;
    EXPECT_EQ(HashesUnder(alone), hashes) << fileSystem;
    area += name == "gpt4k" ? 1 : 2;  // the 4K disk has no gap between its volumes
  }
}

INSTANTIATE_TEST_SUITE_P(Disks, WholeDiskImage, ::testing::Values("mbr", "gpt", "gpt4k"));

}  // namespace
}  // namespace keldrive::cli
