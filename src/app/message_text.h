#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace keldrive {

// Texts from a language file are data, never format strings: a translation with a wrong
// "%s" must not read arguments that were never passed.

// Puts `arguments` into `text` in place of its printf-style conversions ("%c", "%d",
// "%s", "%I64u", "%5.2f" ...), in order. "%%" becomes "%". A conversion without an
// argument stays as it is; arguments beyond the conversions are left out.
std::string FillMessage(std::string_view text, std::initializer_list<std::string_view> arguments);

// The conversions of `text` in order, each reduced to "%" and its letter: "%c", "%d%d".
std::string MessageConversions(std::string_view text);

}  // namespace keldrive
