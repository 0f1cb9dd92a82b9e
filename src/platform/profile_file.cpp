#include "platform/profile_file.h"

#include <cstdint>
#include <span>

#include "platform/file_handle.h"
#include "platform/file_replace.h"

namespace keldrive::platform {
namespace {

// Settings and language files are a few kilobytes; a larger file is not one of ours.
constexpr std::uint64_t kLargestProfile = 4u << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

enum class LineKind { kBlank, kComment, kSection, kEntry };

struct ParsedLine {
  LineKind kind = LineKind::kBlank;
  std::string_view name;  // section name or key
  std::string_view value;
};

ParsedLine ParseLine(std::string_view line) {
  const std::string_view text = Trim(line);
  if (text.empty()) return {};
  if (text.front() == ';') return {LineKind::kComment, {}, {}};
  // "[name" without its closing bracket is not a section header but an ordinary line.
  if (text.front() == '[') {
    if (const auto close = text.rfind(']'); close != std::string_view::npos) {
      return {LineKind::kSection, Trim(text.substr(1, close - 1)), {}};
    }
  }
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return {LineKind::kEntry, text, {}};
  return {LineKind::kEntry, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

}  // namespace

ResultCode ProfileFile::Load(const std::string& path, ProfileFile& out) {
  out = ProfileFile{};
  FileHandle file;
  if (const ResultCode rc = FileHandle::OpenReadOnly(path, file); rc != result::kSuccess) {
    return rc;
  }
  std::uint64_t size = 0;
  if (const ResultCode rc = file.QuerySize(size); rc != result::kSuccess) return rc;
  if (size > kLargestProfile) return result::kInvalidParameter;
  std::string text(static_cast<std::size_t>(size), '\0');
  std::size_t filled = 0;
  while (filled < text.size()) {
    std::size_t got = 0;
    const std::span<std::uint8_t> rest(reinterpret_cast<std::uint8_t*>(text.data()) + filled,
                                       text.size() - filled);
    if (const ResultCode rc = file.Read(rest, got); rc != result::kSuccess) return rc;
    if (got == 0) break;  // the file shrank while we read it
    filled += got;
  }
  text.resize(filled);
  out = Parse(text);
  return result::kSuccess;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile profile;
  if (text.starts_with(kByteOrderMark)) {
    profile.byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
      profile.newline_ = "\r\n";
    }
    profile.lines_.emplace_back(line);
  }
  return profile;
}

std::vector<std::string> ProfileFile::SectionNames() const {
  std::vector<std::string> names;
  for (const std::string& line : lines_) {
    const ParsedLine parsed = ParseLine(line);
    if (parsed.kind == LineKind::kSection) names.emplace_back(parsed.name);
  }
  return names;
}

std::vector<ProfileFile::Entry> ProfileFile::Section(std::string_view name) const {
  std::vector<Entry> entries;
  bool inside = false;
  for (const std::string& line : lines_) {
    const ParsedLine parsed = ParseLine(line);
    if (parsed.kind == LineKind::kSection) {
      if (inside) break;  // a later section of the same name is never read
      inside = EqualNoCase(parsed.name, name);
    } else if (inside && parsed.kind == LineKind::kEntry) {
      entries.push_back({std::string(parsed.name), std::string(parsed.value)});
    }
  }
  return entries;
}

std::optional<std::string> ProfileFile::Value(std::string_view section,
                                              std::string_view key) const {
  for (Entry& entry : Section(section)) {
    if (EqualNoCase(entry.key, key)) return std::move(entry.value);
  }
  return std::nullopt;
}

void ProfileFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  bool inside = false;
  bool found = false;
  std::size_t insertAt = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = ParseLine(lines_[i]);
    if (parsed.kind == LineKind::kSection) {
      if (inside) break;
      inside = EqualNoCase(parsed.name, section);
      if (inside) {
        found = true;
        insertAt = i + 1;
      }
    } else if (inside && parsed.kind != LineKind::kBlank) {
      if (parsed.kind == LineKind::kEntry && EqualNoCase(parsed.name, key)) {
        lines_[i] = std::string(parsed.name) + "=" + std::string(value);
        return;
      }
      insertAt = i + 1;  // new keys go after the last line of the section, before blanks
    }
  }
  std::string line = std::string(key) + "=" + std::string(value);
  if (found) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
    return;
  }
  if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(std::move(line));
}

std::string ProfileFile::Text() const {
  std::string text(byteOrderMark_ ? kByteOrderMark : std::string_view{});
  for (const std::string& line : lines_) {
    text += line;
    text += newline_;
  }
  return text;
}

ResultCode ProfileFile::Save(const std::string& path) const {
  const std::string temporary = path + ".tmp";
  const std::string text = Text();
  FileHandle file;
  ResultCode rc = FileHandle::CreateAlways(temporary, file);
  if (rc == result::kSuccess) {
    rc = file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  }
  if (rc == result::kSuccess) rc = file.Flush();
  file.Close();
  if (rc == result::kSuccess) rc = ReplaceFile(temporary, path);
  if (rc != result::kSuccess) RemoveFile(temporary);
  return rc;
}

}  // namespace keldrive::platform
