#include "app/message_text.h"

#include <vector>

namespace keldrive {
namespace {

struct Conversion {
  std::size_t begin = 0;
  std::size_t end = 0;  // one past the letter
  char letter = 0;      // '%' for "%%"
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The conversion starting at text[at] == '%', or letter 0 when none is there.
Conversion ParseConversion(std::string_view text, std::size_t at) {
  std::size_t i = at + 1;
  if (i < text.size() && text[i] == '%') return {at, i + 1, '%'};
  while (i < text.size() && std::string_view("-+ #0").find(text[i]) != std::string_view::npos) ++i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  for (const std::string_view length : {"I64", "I32", "ll", "hh", "l", "h", "L", "z", "j"}) {
    if (text.substr(i).starts_with(length)) {
      i += length.size();
      break;
    }
  }
  if (i < text.size() &&
      std::string_view("cCdiouxXsSfFeEgGp").find(text[i]) != std::string_view::npos) {
    return {at, i + 1, text[i]};
  }
  return {};
}

std::vector<Conversion> Conversions(std::string_view text) {
  std::vector<Conversion> found;
  for (std::size_t at = text.find('%'); at != std::string_view::npos;) {
    const Conversion conversion = ParseConversion(text, at);
    if (conversion.letter != 0) found.push_back(conversion);
    at = text.find('%', conversion.letter != 0 ? conversion.end : at + 1);
  }
  return found;
}

}  // namespace

std::string FillMessage(std::string_view text, std::initializer_list<std::string_view> arguments) {
  std::string out;
  std::size_t copied = 0;
  auto next = arguments.begin();
  for (const Conversion& conversion : Conversions(text)) {
    out.append(text.substr(copied, conversion.begin - copied));
    if (conversion.letter == '%') {
      out += '%';
    } else if (next != arguments.end()) {
      out.append(*next++);
    } else {
      out.append(text.substr(conversion.begin, conversion.end - conversion.begin));
    }
    copied = conversion.end;
  }
  out.append(text.substr(copied));
  return out;
}

std::string MessageConversions(std::string_view text) {
  std::string out;
  for (const Conversion& conversion : Conversions(text)) {
    if (conversion.letter != '%') {
      out += '%';
      out += conversion.letter;
    }
  }
  return out;
}

}  // namespace keldrive
