#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/file_time.h"
#include "platform/file_replace.h"
#include "platform/file_times.h"
#include "platform/folder_tree.h"
#include "platform/known_folders.h"
#include "platform/path_info.h"
#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

namespace fs = std::filesystem;

TEST(KnownFolders, DataHomeFollowsTheXdgRule) {
  struct Case {
    const char* xdg;
    const char* home;
    std::string expected;
  };
  const Case cases[] = {
      {"/data/user", "/home/ann", "/data/user"},
      {nullptr, "/home/ann", "/home/ann/.local/share"},
      {"", "/home/ann/", "/home/ann/.local/share"},
      {"relative/path", "/home/ann", "/home/ann/.local/share"},
      {nullptr, nullptr, ""},
      {nullptr, "not/absolute", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataHomeFrom(c.xdg, c.home), c.expected)
        << (c.xdg ? c.xdg : "unset") << ", " << (c.home ? c.home : "unset");
  }
}

TEST(KnownFolders, ExecutableFolderHoldsTheRunningProgram) {
  std::string folder;
  ASSERT_EQ(ExecutableFolder(folder), result::kSuccess);
#ifdef _WIN32
  const std::string program = folder + "/keldrive_tests.exe";
#else
  const std::string program = folder + "/keldrive_tests";
#endif
  EXPECT_EQ(QueryPathKind(program), PathKind::kRegularFile) << program;
}

TEST(FolderTree, CreatesListsAndDeletesWithoutFollowingLinks) {
  testing::TempDir dir;
  const std::string tree = dir.File("a/b/c");
  ASSERT_EQ(CreateFolderTree(tree), result::kSuccess);
  ASSERT_EQ(CreateFolderTree(tree), result::kSuccess) << "an existing folder is fine";
  testing::WriteFile(dir.path() / "a/b/c/file.txt", std::string("x"));
  testing::WriteFile(dir.path() / "a/.hidden", std::string("x"));
  testing::WriteFile(dir.path() / "outside/keep.txt", std::string("precious"));
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "a/link");

  std::vector<std::string> names;
  ASSERT_EQ(ListFolder(dir.File("a"), names), result::kSuccess);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "b", "link"}));
  EXPECT_EQ(ListFolder(dir.File("missing"), names), result::kFileNotFound);

  testing::WriteFile(dir.path() / "plain", std::string("x"));
  EXPECT_NE(CreateFolderTree(dir.File("plain")), result::kSuccess);

  ASSERT_EQ(DeleteFolderTree(dir.File("a")), result::kSuccess);
  EXPECT_FALSE(fs::exists(dir.path() / "a"));
  EXPECT_TRUE(fs::exists(dir.path() / "outside/keep.txt")) << "the link was not followed";
  EXPECT_EQ(DeleteFolderTree(dir.File("a")), result::kSuccess) << "already gone";
}

// Names stay UTF-8 in the core; on Windows they go through the wide calls and back.
TEST(FolderTree, NonAsciiNamesSurvive) {
  testing::TempDir dir;
  // Joined as text: the names must not pass through std::filesystem's narrow conversion.
  const std::string base = dir.File("");
  const std::string folder = base + "Ünïcødé/日本";
  ASSERT_EQ(CreateFolderTree(folder), result::kSuccess);
  ASSERT_EQ(CreateFolderExclusive(folder + "/résumé"), result::kSuccess);
  EXPECT_EQ(CreateFolderExclusive(folder + "/résumé"), result::kAlreadyExists);
  std::vector<std::string> names;
  ASSERT_EQ(ListFolder(base + "Ünïcødé", names), result::kSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"日本"});
  ASSERT_EQ(ListFolder(folder, names), result::kSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"résumé"});
  EXPECT_EQ(QueryPathKind(folder + "/résumé"), PathKind::kDirectory);
  ASSERT_EQ(DeleteFolderTree(base + "Ünïcødé"), result::kSuccess);
  EXPECT_EQ(QueryPathKind(folder), PathKind::kMissing);
}

TEST(FileReplace, ReplacesInOneStep) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "config", std::string("old"));
  testing::WriteFile(dir.path() / "config.tmp", std::string("new"));
  ASSERT_EQ(ReplaceFile(dir.File("config.tmp"), dir.File("config")), result::kSuccess);
  EXPECT_EQ(testing::ReadFileBytes(dir.path() / "config"),
            (std::vector<std::uint8_t>{'n', 'e', 'w'}));
  EXPECT_FALSE(fs::exists(dir.path() / "config.tmp"));
  EXPECT_EQ(ReplaceFile(dir.File("config.tmp"), dir.File("config")), result::kFileNotFound);
  EXPECT_EQ(RemoveFile(dir.File("config")), result::kSuccess);
  EXPECT_EQ(RemoveFile(dir.File("config")), result::kSuccess) << "already gone";
}

TEST(PathInfo, LastWriteTimeIsAFileTime) {
  testing::TempDir dir;
  const std::string path = dir.File("disk.img");
  testing::WriteFile(path, std::string("image"));
  // 2019-03-07 09:05:00 UTC, set by the standard library (in whole seconds under Wine)...
  using namespace std::chrono_literals;
  fs::last_write_time(path,
                      std::chrono::file_clock::from_sys(std::chrono::sys_seconds(1551949500s)));
  FileTime expected = 0;
  ASSERT_TRUE(CalendarToFileTime({2019, 3, 7, 9, 5, 0, 0}, expected));
  std::uint64_t time = 0;
  ASSERT_EQ(QueryLastWriteTime(path, time), result::kSuccess);
  EXPECT_EQ(time, expected);
  // ...and half a second later by the program's own call, which keeps the fraction.
  ASSERT_EQ(SetFileTimes(path, {.modified = expected + 5'000'000}), result::kSuccess);
  ASSERT_EQ(QueryLastWriteTime(path, time), result::kSuccess);
  EXPECT_EQ(time, expected + 5'000'000);
  EXPECT_EQ(QueryLastWriteTime(dir.File("missing.img"), time), result::kFileNotFound);
}

TEST(PathInfo, ResolvePathFollowsLinksAndDots) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "real/sub");
  fs::create_directory_symlink(dir.path() / "real", dir.path() / "alias");
  std::string viaLink, direct;
  ASSERT_EQ(ResolvePath(dir.File("alias/sub/../sub"), viaLink), result::kSuccess);
  ASSERT_EQ(ResolvePath(dir.File("real/sub"), direct), result::kSuccess);
  EXPECT_EQ(viaLink, direct);
  EXPECT_EQ(ResolvePath(dir.File("nothing"), direct), result::kFileNotFound);
}

}  // namespace
}  // namespace keldrive::platform
