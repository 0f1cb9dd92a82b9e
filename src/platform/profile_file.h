#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result_code.h"

namespace keldrive::platform {

// A settings file in INI form, read and changed by the rules of the Windows private-profile
// functions the settings and language files are written for: sections keep their file
// order; a line splits into key and value at its first "=" (so a value may hold "=");
// keys and values are trimmed of surrounding blanks; section and key names match without
// regard to letter case, and the first of two equal names wins; lines beginning with ";"
// are comments. Changing a value rewrites that one line and keeps every other line of the
// file as it was. Text is UTF-8; a byte-order mark is kept.
class ProfileFile {
 public:
  struct Entry {
    std::string key;
    std::string value;  // empty for a line without "="
  };

  // Reads the file. A missing or unreadable file leaves `out` empty and returns the error.
  static ResultCode Load(const std::string& path, ProfileFile& out);
  static ProfileFile Parse(std::string_view text);

  // The names of all sections, in file order.
  std::vector<std::string> SectionNames() const;
  // The entries of the first section of that name, in file order, without comments and
  // blank lines; empty when there is no such section.
  std::vector<Entry> Section(std::string_view name) const;
  // The value of the first matching key in the first matching section.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // Sets the value of the key: the first matching line is rewritten; a missing key is added
  // at the end of its section, a missing section at the end of the file.
  void SetValue(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;
  // Writes the whole file beside itself first and then replaces it in one step, so a crash
  // leaves either the old file or the new one.
  ResultCode Save(const std::string& path) const;

 private:
  std::vector<std::string> lines_;
  std::string newline_ = "\n";
  bool byteOrderMark_ = false;
};

}  // namespace keldrive::platform
