#include "app/utf16.h"

#include <cstdint>

namespace keldrive {
namespace {

constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kLargestCodePoint = 0x10FFFF;

bool IsContinuation(std::uint8_t byte) {
  return (byte & 0xC0) == 0x80;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    // Length of the sequence, the payload bits of its lead byte, and the smallest code
    // point that needs this length (anything below is an overlong form).
    struct Form {
      std::size_t length;
      std::uint8_t payload;
      char32_t smallest;
    };
    Form form;
    if (lead < 0x80) {
      form = {1, 0x7F, 0};
    } else if ((lead & 0xE0) == 0xC0) {
      form = {2, 0x1F, 0x80};
    } else if ((lead & 0xF0) == 0xE0) {
      form = {3, 0x0F, 0x800};
    } else if ((lead & 0xF8) == 0xF0) {
      form = {4, 0x07, 0x10000};
    } else {
      return false;
    }
    const std::size_t length = form.length;
    char32_t c = lead & form.payload;
    if (length > text.size() - i) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<std::uint8_t>(text[i + k]);
      if (!IsContinuation(byte)) return false;
      c = (c << 6) | (byte & 0x3Fu);
    }
    if (c < form.smallest || c > kLargestCodePoint ||
        (c >= kHighSurrogateFirst && c <= kSurrogateLast)) {
      return false;
    }
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(kHighSurrogateFirst + (c >> 10));
      out += static_cast<char16_t>(kLowSurrogateFirst + (c & 0x3FF));
    }
    i += length;
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= kLowSurrogateFirst && c <= kSurrogateLast) return false;
    if (c >= kHighSurrogateFirst && c < kLowSurrogateFirst) {
      if (i + 1 == text.size()) return false;
      const char32_t low = text[i + 1];
      if (low < kLowSurrogateFirst || low > kSurrogateLast) return false;
      c = 0x10000 + ((c - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
      ++i;
    }
    AppendUtf8(c, out);
  }
  return true;
}

}  // namespace keldrive
