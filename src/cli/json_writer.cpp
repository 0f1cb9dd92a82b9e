#include "cli/json_writer.h"

#include <cstdio>
#include <string>

namespace keldrive::cli {
namespace {

// Length of the valid UTF-8 sequence at the start of `text`, or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  std::uint32_t minimum;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  std::uint32_t codePoint = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      out += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(text.substr(0, length));
    } else if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out.push_back(c);
    }
    text.remove_prefix(length);
  }
  out.push_back('"');
}

void JsonWriter::NewLine() {
  out_ << '\n';
  for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (!levels_.back().first) out_ << ',';
  levels_.back().first = false;
  NewLine();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ << bracket;
  levels_.push_back(Level{});
}

void JsonWriter::Close(char bracket) {
  const bool empty = levels_.back().first;
  levels_.pop_back();
  if (!empty) NewLine();
  out_ << bracket;
  if (levels_.empty()) out_ << '\n';
}

void JsonWriter::BeginObject() {
  Open('{');
}
void JsonWriter::EndObject() {
  Close('}');
}
void JsonWriter::BeginArray() {
  Open('[');
}
void JsonWriter::EndArray() {
  Close(']');
}

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  std::string text;
  AppendJsonString(text, key);
  out_ << text << ": ";
  afterKey_ = true;
}

void JsonWriter::String(std::string_view value) {
  BeforeValue();
  std::string text;
  AppendJsonString(text, value);
  out_ << text;
}

void JsonWriter::Number(std::int64_t value) {
  BeforeValue();
  out_ << value;
}

void JsonWriter::Number(std::uint64_t value) {
  BeforeValue();
  out_ << value;
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

}  // namespace keldrive::cli
