#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace keldrive::cli {

// Writes JSON for scripts, indented two spaces. Strings are taken as UTF-8; bytes that are
// not (names read from a damaged medium) are written as U+FFFD so the output stays valid.
class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view key);

  void String(std::string_view value);
  void Number(std::int64_t value);
  void Number(std::uint64_t value);
  void Number(int value) { Number(static_cast<std::int64_t>(value)); }
  void Bool(bool value);
  void Null();

  template <typename T>
  void Field(std::string_view key, const T& value) {
    Key(key);
    Write(value);
  }

 private:
  void Write(std::string_view value) { String(value); }
  void Write(const char* value) { String(value); }
  void Write(bool value) { Bool(value); }
  void Write(std::int64_t value) { Number(value); }
  void Write(std::uint64_t value) { Number(value); }
  void Write(int value) { Number(value); }
  void Write(unsigned value) { Number(static_cast<std::uint64_t>(value)); }

  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void NewLine();

  struct Level {
    bool first = true;
  };
  std::ostream& out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

// Appends `text` to `out` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace keldrive::cli
