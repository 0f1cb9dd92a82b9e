#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/medium_argument.h"
#include "disk/sector_device.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive info MEDIUM [--json]\n"
    "\n"
    "Opens MEDIUM read-only and shows its size. MEDIUM is an image file, a disk or\n"
    "partition device (/dev/sdb, /dev/sdb1), or a number shown by keldrive list.\n"
    "\n"
    "  --json  print the result as JSON\n";

const char* KindName(MediumChoice::Kind kind) {
  switch (kind) {
    case MediumChoice::Kind::kImage:
      return "image";
    case MediumChoice::Kind::kDisk:
      return "disk";
    case MediumChoice::Kind::kStretch:
      return "stretch";
  }
  return "";
}

int Run(const Arguments& arguments, Context& context) {
  if (arguments.positional.size() != 1) {
    ReportError(context, "info", "needs one MEDIUM (see keldrive info --help)");
    return kExitUsage;
  }
  const std::string& argument = arguments.positional[0];
  MediumChoice medium;
  std::string message;
  if (ResolveMedium(argument, context.roots, medium, message) != result::kSuccess) {
    ReportError(context, argument, message);
    return kExitFailure;
  }
  SectorDevice device;
  std::uint32_t sectorSize = 0;
  if (const ResultCode rc = OpenMedium(medium, device, sectorSize); rc != result::kSuccess) {
    ReportError(context, medium.path, DescribeOpenFailure(medium, rc));
    return kExitFailure;
  }
  const bool stretch = medium.kind == MediumChoice::Kind::kStretch;
  const std::uint64_t first = stretch ? medium.firstSector : 0;
  const std::uint64_t count = stretch ? medium.sectorCount : device.totalSectors;
  const std::uint64_t bytes = count * sectorSize;

  if (arguments.Has("--json")) {
    Json json;
    json["medium"] = argument;
    json["kind"] = KindName(medium.kind);
    json["path"] = medium.path;
    json["disk"] = medium.diskNumber;
    json["sectorSize"] = sectorSize;
    json["deviceSectors"] = device.totalSectors;
    json["firstSector"] = first;
    json["sectors"] = count;
    json["bytes"] = bytes;
    WriteJson(context.out, json);
    return kExitOk;
  }
  context.out << "medium:        " << argument << " (" << KindName(medium.kind) << ")\n"
              << "path:          " << medium.path << '\n';
  if (medium.diskNumber >= 0) context.out << "disk:          " << medium.diskNumber << '\n';
  context.out << "sector size:   " << sectorSize << " bytes\n"
              << "first sector:  " << first << '\n'
              << "sectors:       " << count << '\n'
              << "size:          " << FormatSize(static_cast<std::int64_t>(bytes & INT64_MAX))
              << " (" << bytes << " bytes)\n";
  return kExitOk;
}

}  // namespace

const Command& InfoCommand() {
  static const Command kCommand{
      "info", "open a medium and show its size", kUsage, {{"--json", false}}, &Run};
  return kCommand;
}

}  // namespace keldrive::cli
