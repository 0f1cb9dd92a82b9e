#include "engine/recovery_target.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/folder_tree.h"
#include "platform/path_info.h"
#include "platform/utf8_path.h"

namespace keldrive {
namespace {

constexpr std::size_t kMaxNameBytes = 255;

bool IsReservedDeviceName(std::string_view name) {
  // CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with or without an extension.
  const std::string_view base = name.substr(0, name.find('.'));
  std::string upper(base);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  static constexpr std::array<std::string_view, 4> kNames{"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view reserved : kNames) {
    if (upper == reserved) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

std::string MadeSafe(std::string_view name, bool keepColon) {
  std::string safe;
  safe.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool forbidden = byte < 0x20 || byte == 0x7F || (c == ':' && !keepColon) ||
                           std::string_view("/\\*?\"<>|").find(c) != std::string_view::npos;
    safe.push_back(forbidden ? '_' : c);
  }
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.back() = '_';
  if (safe.empty()) safe = "_";
  if (IsReservedDeviceName(safe)) safe.insert(0, "_");
  return FitName(safe, "");
}

}  // namespace

std::string FitName(std::string_view name, std::string_view suffix) {
  // A short trailing ".ext" is kept; a longer tail after a dot is part of the name.
  constexpr std::size_t kMaxExtensionBytes = 16;
  const std::size_t dot = name.rfind('.');
  const bool hasExtension =
      dot != std::string_view::npos && dot != 0 && name.size() - dot <= kMaxExtensionBytes;
  const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();
  std::string_view stem = name.substr(0, name.size() - extension.size());
  const std::size_t room =
      kMaxNameBytes - std::min(kMaxNameBytes, extension.size() + suffix.size());
  if (stem.size() > room) {
    std::size_t length = room;
    // Cut before a whole UTF-8 character, never inside one.
    while (length > 0 && (static_cast<unsigned char>(stem[length]) & 0xC0) == 0x80) --length;
    stem = stem.substr(0, length);
  }
  return std::string(stem) + std::string(suffix) + std::string(extension);
}

std::string SafeFileName(std::string_view name) {
  return MadeSafe(name, platform::kNamesMayHoldColon);
}

std::string PortableFileName(std::string_view name) {
  return MadeSafe(name, false);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path.push_back('/');
  path.append(name);
  return path;
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
  const auto normal = [](std::string_view text) {
    return std::filesystem::absolute(platform::PathFromUtf8(text)).lexically_normal();
  };
  const std::filesystem::path inner = normal(path), outer = normal(folder);
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

ResultCode CreateParentFolder(std::string_view path) {
  const std::filesystem::path parent = platform::PathFromUtf8(path).parent_path();
  if (parent.empty()) return result::kSuccess;
  return platform::CreateFolderTree(platform::Utf8FromPath(parent));
}

std::size_t CountPathSeparators(std::string_view path) {
  if (path.empty()) return 0;
  path.remove_suffix(1);
  return static_cast<std::size_t>(
      std::count_if(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\'; }));
}

std::string FreeTargetPath(const std::string& path) {
  if (platform::QueryPathKind(path) == platform::PathKind::kMissing) return path;
  const std::filesystem::path p = platform::PathFromUtf8(path);
  const std::string folder =
      p.has_parent_path() ? platform::Utf8FromPath(p.parent_path()) + "/" : "";
  const std::string name = platform::Utf8FromPath(p.filename());
  for (int n = 1;; ++n) {
    // The number never pushes the name past what a file system takes: the stem gives way.
    const std::string candidate = folder + FitName(name, "(" + std::to_string(n) + ")");
    if (platform::QueryPathKind(candidate) == platform::PathKind::kMissing) return candidate;
  }
}

}  // namespace keldrive
