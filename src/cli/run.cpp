#include <algorithm>
#include <array>

#include "cli/command.h"
#include "cli/text_table.h"

namespace keldrive::cli {
namespace {

const std::array<const Command*, 11>& Commands() {
  static const std::array<const Command*, 11> kCommands{
      &ListCommand(),    &ScanCommand(), &LsCommand(),     &FindCommand(),
      &RecoverCommand(), &CatCommand(),  &ReportCommand(), &ImageCommand(),
      &HistoryCommand(), &InfoCommand(), &DumpCommand()};
  return kCommands;
}

void PrintOverview(std::ostream& out) {
  out << "Usage: keldrive COMMAND [OPTIONS] [ARGUMENTS]\n"
         "\n"
         "Finds and recovers deleted files on FAT and NTFS volumes, disks and disk images.\n"
         "Media are only ever read; recovered files are written to a folder you choose.\n"
         "\n"
         "Commands:\n";
  for (const Command* command : Commands()) {
    std::string name(command->name);
    name.resize(std::max<std::size_t>(name.size(), 10), ' ');
    out << "  " << name << command->summary << '\n';
  }
  out << "\n"
         "Options:\n"
         "  --help     show this help, or a command's help after its name\n"
         "  --version  show the version\n"
         "\n"
         "Exit codes: 0 success, 1 the work failed, 2 the command line was wrong.\n";
}

}  // namespace

void ReportError(Context& context, std::string_view subject, std::string_view message) {
  // Both may carry names read from a medium.
  context.err << "keldrive: ";
  if (!subject.empty()) context.err << TerminalSafe(subject) << ": ";
  context.err << TerminalSafe(message) << '\n';
}

int Run(const std::vector<std::string>& words, Context& context) {
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    PrintOverview(context.out);
    return words.empty() ? kExitUsage : kExitOk;
  }
  if (words[0] == "--version") {
    context.out << "keldrive " << KELDRIVE_VERSION << '\n';
    return kExitOk;
  }
  const auto& commands = Commands();
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const Command* c) { return c->name == words[0]; });
  if (found == commands.end()) {
    ReportError(context, "", "unknown command '" + words[0] + "' (see keldrive --help)");
    return kExitUsage;
  }
  const Command& command = **found;
  std::vector<OptionSpec> options = command.options;
  options.push_back({"--help", false});
  Arguments arguments;
  const std::vector<std::string> rest(words.begin() + 1, words.end());
  if (const auto error = ParseArguments(rest, options, arguments)) {
    ReportError(context, command.name,
                *error + " (see keldrive " + std::string(command.name) + " --help)");
    return kExitUsage;
  }
  if (arguments.Has("--help")) {
    context.out << command.usage;
    return kExitOk;
  }
  return command.run(arguments, context);
}

}  // namespace keldrive::cli
