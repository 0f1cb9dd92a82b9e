#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace keldrive::cli {

// An option a command accepts: "--json" alone, or "--to DIR" / "--to=DIR" with a value.
struct OptionSpec {
  std::string_view name;
  bool takesValue = false;
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // options with a value
  std::set<std::string> flags;                // options without one

  bool Has(std::string_view name) const { return flags.contains(std::string(name)); }
  std::optional<std::string> Value(std::string_view name) const;
};

// Parses the words after the command name. "-h" stands for "--help"; "--" ends the
// options. Returns an error message for an unknown option or a missing value.
std::optional<std::string> ParseArguments(const std::vector<std::string>& words,
                                          const std::vector<OptionSpec>& options, Arguments& out);

}  // namespace keldrive::cli
