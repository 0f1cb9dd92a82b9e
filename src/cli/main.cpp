#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "platform/terminal.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> words(argv + 1, argv + argc);
  const bool terminal = keldrive::platform::StderrIsTerminal();
  keldrive::cli::Context context{
      std::cout, std::cerr, {}, terminal, {},
      terminal && keldrive::platform::StdinIsTerminal() ? &std::cin : nullptr};
  const int code = keldrive::cli::Run(words, context);
  std::cout.flush();
  return code;
}
