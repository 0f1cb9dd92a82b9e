#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/utf8_path.h"

namespace keldrive::testing {

TempDir::TempDir() {
  // A random name that create_directory claims only when nothing has it (as mkdtemp does,
  // on every system).
  std::random_device random;
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path(ec) / ("keldrive-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  ADD_FAILURE() << "cannot create a temporary folder";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
  return platform::Utf8FromPath(path_) + "/" + name;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(platform::PathFromUtf8(path), text);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteFile(platform::PathFromUtf8(path), bytes);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  return ReadFileBytes(platform::PathFromUtf8(path));
}

}  // namespace keldrive::testing
