#pragma once

#include <optional>
#include <string>

#include "cli/arguments.h"

namespace keldrive::cli {

// The pattern list for a listing by type from --type, --category and --other; everything,
// other files included, when none is given. Nothing (and `error` set) for an unknown
// category or an empty extension.
std::optional<std::string> PatternsFromArguments(const Arguments& arguments, std::string& error);

// Whether any of --type, --category or --other was given.
bool HasTypeSelection(const Arguments& arguments);

}  // namespace keldrive::cli
