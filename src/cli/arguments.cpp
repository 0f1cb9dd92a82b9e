#include "cli/arguments.h"

#include <algorithm>

namespace keldrive::cli {

std::optional<std::string> Arguments::Value(std::string_view name) const {
  const auto it = values.find(std::string(name));
  if (it == values.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> ParseArguments(const std::vector<std::string>& words,
                                          const std::vector<OptionSpec>& options, Arguments& out) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      out.positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "-h") word = "--help";
    std::optional<std::string> inlineValue;
    if (const auto equals = word.find('='); equals != std::string::npos) {
      inlineValue = word.substr(equals + 1);
      word.resize(equals);
    }
    const auto option = std::find_if(options.begin(), options.end(),
                                   [&](const OptionSpec& o) { return o.name == word; });
    if (option == options.end()) return "unknown option " + word;
    if (!option->takesValue) {
      if (inlineValue) return "option " + word + " takes no value";
      out.flags.insert(word);
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) return "option " + word + " needs a value";
      inlineValue = words[++i];
    }
    out.values[word] = *inlineValue;
  }
  return std::nullopt;
}

}  // namespace keldrive::cli
