#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace keldrive::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& text);
void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

}  // namespace keldrive::testing
