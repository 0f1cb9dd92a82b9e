#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <set>
#include <sstream>

#include "cli/command.h"
#include "platform/path_info.h"
#include "session/scan_catalogue.h"
#include "support/fixtures.h"
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

// Separate processes, as two commands, or a command and the desktop program, would be.
TEST(SharedDataFolder, ParallelScansEachGetAWholeFolderOfTheirOwn) {
  testing::TempDir dir;
  const std::string root = dir.File("scanlog");
  constexpr int kScans = 6;
  std::vector<std::string> images;
  for (int i = 0; i < kScans; ++i) {
    images.push_back(
        testing::ExtractFixture("fat/demo.img.gz", dir, "card" + std::to_string(i) + ".img"));
  }
  std::vector<pid_t> children;
  for (const std::string& image : images) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(RunIn(root, {"scan", image}).code);
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitOk);
  }

  const ScanCatalogue catalogue(root);
  const auto scans = catalogue.Scans();
  ASSERT_EQ(scans.size(), static_cast<std::size_t>(kScans));
  std::set<std::uint64_t> numbers;
  std::set<std::string> media;
  for (const ScanRecord& scan : scans) {
    numbers.insert(scan.number);
    media.insert(scan.area.source.path);
    EXPECT_EQ(scan.state, ScanState::kFinished) << scan.folder;
    EXPECT_EQ(scan.logs.size(), 1u) << scan.folder;
    EXPECT_EQ(scan.found, 23u) << scan.folder;
  }
  EXPECT_EQ(numbers, (std::set<std::uint64_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(media.size(), static_cast<std::size_t>(kScans)) << "no two scans share a folder";
  EXPECT_EQ(catalogue.History().ScanNumber(), 6u) << "the number never went backwards";
  EXPECT_EQ(catalogue.History().Entries().size(), static_cast<std::size_t>(kScans));
  for (const ScanRecord& scan : scans) {
    const Outcome listed = RunIn(root, {"ls", scan.area.source.path, "Holiday 2023"});
    EXPECT_EQ(listed.code, kExitOk) << listed.err;
    EXPECT_NE(listed.out.find("Beach/"), std::string::npos) << scan.folder;
  }
}

// The image mounted through a FUSE driver given the file, and through a loop device.
TEST(SharedDataFolder, RecoveryIntoAMountOfTheImageIsRefused) {
  if (!platform::HasAdministratorRights() || !std::filesystem::exists("/dev/fuse") ||
      std::system("command -v ntfs-3g >/dev/null 2>&1 && command -v losetup >/dev/null 2>&1") !=
          0) {
    GTEST_SKIP() << "needs root, FUSE, ntfs-3g and losetup";
  }
  testing::TempDir dir;
  const std::string root = dir.File("scanlog");
  const std::string image = testing::ExtractFixture("ntfs/ntfs512.img.gz", dir, "volume.img");
  const std::string mount = dir.File("mnt");
  std::filesystem::create_directory(mount);
  ASSERT_EQ(RunIn(root, {"scan", image}).code, kExitOk);

  const auto check = [&](const std::string& how) {
    const std::string target = mount + "/rescued";
    const Outcome r = RunIn(root, {"recover", image, "--to", target, "--all"});
    EXPECT_EQ(r.code, kExitFailure) << how;
    EXPECT_NE(r.err.find("the medium being recovered"), std::string::npos) << how << r.err;
    EXPECT_FALSE(std::filesystem::exists(target)) << how << ": nothing is written";
  };
  if (std::system(("ntfs-3g " + image + " " + mount + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "ntfs-3g cannot mount here";
  }
  check("FUSE mount of the image file");
  std::system(("umount " + mount).c_str());

  const std::string loopFile = dir.File("loop");
  if (std::system(("losetup -f --show " + image + " > " + loopFile + " 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "no loop devices";
  }
  std::string loop;
  std::ifstream(loopFile) >> loop;
  if (std::system(("ntfs-3g " + loop + " " + mount + " 2>/dev/null").c_str()) == 0) {
    check("mount of a loop device backed by the image");
    std::system(("umount " + mount).c_str());
  }
  std::system(("losetup -d " + loop).c_str());
}

}  // namespace
}  // namespace keldrive::cli
