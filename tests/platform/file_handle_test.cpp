#include "platform/file_handle.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(FileHandle, CreateAlwaysEmptiesAndOpenAlwaysKeeps) {
  testing::TempDir dir;
  const std::string path = dir.File("out.bin");
  FileHandle file;
  ASSERT_EQ(FileHandle::CreateAlways(path, file), result::kSuccess);
  ASSERT_EQ(file.Write(Bytes("hello world")), result::kSuccess);
  ASSERT_EQ(file.WriteAt(0, Bytes("J")), result::kSuccess);
  file.Close();
  file.Close();
  EXPECT_FALSE(file.IsOpen());

  ASSERT_EQ(FileHandle::OpenAlways(path, file), result::kSuccess);
  std::uint64_t size = 0;
  ASSERT_EQ(file.QuerySize(size), result::kSuccess);
  EXPECT_EQ(size, 11u);
  std::vector<std::uint8_t> buffer(5);
  std::size_t got = 0;
  ASSERT_EQ(file.ReadAt(0, buffer, got), result::kSuccess);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "Jello");
  ASSERT_EQ(file.ReadAt(11, buffer, got), result::kSuccess);
  EXPECT_EQ(got, 0u) << "end of file";

  ASSERT_EQ(FileHandle::CreateAlways(path, file), result::kSuccess);
  ASSERT_EQ(file.QuerySize(size), result::kSuccess);
  EXPECT_EQ(size, 0u);
}

TEST(FileHandle, ReadOnlyHandlesCannotWrite) {
  testing::TempDir dir;
  const std::string path = dir.File("medium.img");
  testing::WriteFile(path, std::string("data"));
  FileHandle file;
  ASSERT_EQ(FileHandle::OpenReadOnly(path, file), result::kSuccess);
  EXPECT_NE(file.Write(Bytes("x")), result::kSuccess);
  EXPECT_NE(file.WriteAt(0, Bytes("x")), result::kSuccess);
  EXPECT_EQ(testing::ReadFileBytes(path).front(), 'd');
}

TEST(FileHandle, MovesOwnership) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("a"), std::string("abc"));
  FileHandle first;
  ASSERT_EQ(FileHandle::OpenReadOnly(dir.File("a"), first), result::kSuccess);
  FileHandle second = std::move(first);
  EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): checking the move
  EXPECT_TRUE(second.IsOpen());
  EXPECT_EQ(second.Name(), dir.File("a"));
}

}  // namespace
}  // namespace keldrive::platform
