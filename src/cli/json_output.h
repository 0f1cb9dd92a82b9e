#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

namespace keldrive::cli {

// Keys stay in the order they are added: scripts and people read them in that order.
using Json = nlohmann::ordered_json;

// Prints `value` for scripts, indented two spaces, with a newline after. Text that is not
// UTF-8 (a name read from a damaged medium, a path given in another encoding) comes out
// with U+FFFD for the bad bytes instead of stopping the command.
void WriteJson(std::ostream& out, const Json& value);

}  // namespace keldrive::cli
