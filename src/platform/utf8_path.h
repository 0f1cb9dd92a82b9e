#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace keldrive::platform {

// Names are UTF-8 throughout the core. std::filesystem takes a narrow string in the
// system's code page, which on Windows need not be UTF-8 (older systems and Wine ignore the
// manifest's code page), so paths cross into and out of it only through these two.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace keldrive::platform
