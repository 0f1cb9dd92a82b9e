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
  // A path inside the folder in UTF-8, joined with "/" as the program joins its own.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& text);
void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
// The same for UTF-8 paths, which std::filesystem would read in the system's code page.
void WriteFile(const std::string& path, const std::string& text);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace keldrive::testing
