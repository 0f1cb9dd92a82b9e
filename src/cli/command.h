#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "platform/system_roots.h"

namespace keldrive::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // the work failed: a medium could not be read, a file not written
  kExitUsage = 2,    // the command line was wrong
};

// What a command runs with: where to print, and where the platform layer looks.
struct Context {
  std::ostream& out;
  std::ostream& err;
  platform::SystemRoots roots;
  bool progressToTerminal = false;
  // The folder of the scan history and scan logs; empty for the user's own.
  std::string scanLogRoot;
  // Where questions are answered (a deep scan that can go on from an earlier one); none
  // when nobody is there to answer.
  std::istream* in = nullptr;
};

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for the overview
  std::string_view usage;    // the full help text
  std::vector<OptionSpec> options;
  int (*run)(const Arguments& arguments, Context& context);
};

const Command& ListCommand();
const Command& InfoCommand();
const Command& DumpCommand();
const Command& HistoryCommand();
const Command& ScanCommand();
const Command& LsCommand();
const Command& FindCommand();
const Command& RecoverCommand();
const Command& ReportCommand();
const Command& ImageCommand();
const Command& CatCommand();

// Prints "keldrive: <subject>: <message>" on the error stream.
void ReportError(Context& context, std::string_view subject, std::string_view message);

// Runs the program with the words after its name; returns the exit code.
int Run(const std::vector<std::string>& words, Context& context);

}  // namespace keldrive::cli
