#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/text_table.h"
#include "disk/checked_math.h"
#include "disk/medium_queries.h"
#include "disk/volume_table.h"
#include "platform/path_info.h"
#include "session/scan_area.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive list [IMAGE] [--json]\n"
    "\n"
    "Lists what can be scanned: every volume of every disk, the unallocated stretches\n"
    "between and after them that may hold a lost partition, and disks without volumes.\n"
    "The NO column is the number to give other commands as MEDIUM.\n"
    "\n"
    "With IMAGE, lists the volumes and unallocated stretches inside a disk image (an image\n"
    "of a whole disk, made with dd or keldrive image); its NO column is the number to give\n"
    "other commands with --volume.\n"
    "\n"
    "  --json  print the list as JSON\n";

std::string KindOf(const VolumeRecord& record, std::size_t recordsOnDisk) {
  if (record.partitionNumber != 0 || record.type != 0) return "volume";
  return recordsOnDisk == 1 && record.start == 0 ? "disk" : "unallocated";
}

std::string TypeText(std::uint8_t type) {
  static constexpr char kHex[] = "0123456789abcdef";
  return std::string("0x") + kHex[type >> 4] + kHex[type & 15];
}

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

int ListImage(const std::string& image, const Arguments& arguments, Context& context) {
  ImageLayout layout;
  if (const ResultCode rc = ListImageAreas(image, layout); rc != result::kSuccess) {
    ReportError(context, image, "cannot open: " + DescribeResult(rc));
    return kExitFailure;
  }
  const auto bytesOf = [](const ScanArea& area) {
    return CheckedMul64(area.sectors.Count(), area.source.sectorBytes).value_or(UINT64_MAX);
  };
  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginObject();
    json.Field("image", image);
    json.Field("partitioned", layout.partitioned);
    json.Field("scheme", layout.scheme);
    json.Field("sectorSize", layout.whole.source.sectorBytes);
    json.Field("sectors", layout.whole.sectors.Count());
    json.Key("areas");
    json.BeginArray();
    for (const ScanArea& area : layout.areas) {
      json.BeginObject();
      json.Field("number", area.number);
      json.Field("kind", AreaKindName(area.kind));
      json.Field("partition", area.partitionNumber);
      json.Field("type", static_cast<int>(area.type));
      json.Field("fileSystem", area.fileSystem);
      json.Field("startSector", area.sectors.First());
      json.Field("sectors", area.sectors.Count());
      json.Field("bytes", bytesOf(area));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return kExitOk;
  }
  context.out << image << ": "
              << (layout.partitioned ? (layout.scheme == "gpt" ? "GPT" : "MBR") +
                                           std::string(" partition table, ")
                                     : std::string("no partition table, "))
              << layout.whole.source.sectorBytes << "-byte sectors, "
              << FormatSize(static_cast<std::int64_t>(bytesOf(layout.whole) & INT64_MAX)) << "\n";
  TextTable text({{"NO", true},
                  {"KIND"},
                  {"PART", true},
                  {"TYPE"},
                  {"FS"},
                  {"START", true},
                  {"SECTORS", true},
                  {"SIZE", true}});
  for (const ScanArea& area : layout.areas) {
    text.AddRow({std::to_string(area.number), AreaKindName(area.kind),
                 std::to_string(area.partitionNumber), TypeText(area.type), OrDash(area.fileSystem),
                 std::to_string(area.sectors.First()), std::to_string(area.sectors.Count()),
                 FormatSize(static_cast<std::int64_t>(bytesOf(area) & INT64_MAX))});
  }
  text.Print(context.out);
  return kExitOk;
}

int Run(const Arguments& arguments, Context& context) {
  if (arguments.positional.size() > 1) {
    ReportError(context, "list", "takes at most one IMAGE (see keldrive list --help)");
    return kExitUsage;
  }
  if (arguments.positional.size() == 1) return ListImage(arguments.positional[0], arguments, context);
  VolumeTable table;
  if (EnumerateVolumes(table, context.roots) == 0) {
    ReportError(context, context.roots.sys + "/block", "cannot list the machine's disks");
    return kExitFailure;
  }

  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginArray();
    for (const auto& [disk, records] : table.disks) {
      const bool removable = IsRemovableDisk(disk, context.roots);
      for (const VolumeRecord& record : records) {
        json.BeginObject();
        json.Field("number", static_cast<int>(record.driveLetter));
        json.Field("kind", KindOf(record, records.size()));
        json.Field("disk", record.diskNumber);
        json.Field("partition", record.partitionNumber);
        json.Field("type", static_cast<int>(record.type));
        json.Field("fileSystem", record.fileSystemName);
        json.Field("label", record.label);
        json.Field("startSector", record.start);
        json.Field("sectors", record.length);
        json.Field("totalBytes", record.totalBytes);
        json.Field("usedBytes", record.usedBytes);
        json.Field("freeBytes", record.freeBytes);
        json.Field("device", record.devicePath);
        json.Field("mountPoint", record.mountPoint);
        json.Field("removable", removable);
        json.EndObject();
      }
    }
    json.EndArray();
    return kExitOk;
  }

  TextTable text({{"DISK", true},
                  {"NO", true},
                  {"PART", true},
                  {"KIND"},
                  {"TYPE"},
                  {"FS"},
                  {"LABEL"},
                  {"START", true},
                  {"SECTORS", true},
                  {"TOTAL", true},
                  {"USED", true},
                  {"FREE", true},
                  {"DEVICE"},
                  {"MOUNT"}});
  for (const auto& [disk, records] : table.disks) {
    for (const VolumeRecord& record : records) {
      const auto size = [](std::uint64_t bytes) {
        return FormatSize(static_cast<std::int64_t>(bytes & INT64_MAX));
      };
      // The free space of a volume is known only while its file system is mounted.
      const std::string kind = KindOf(record, records.size());
      const bool spaceUnknown = kind == "volume" && record.mountPoint.empty();
      text.AddRow({std::to_string(record.diskNumber), std::to_string(record.driveLetter),
                   std::to_string(record.partitionNumber), kind, TypeText(record.type),
                   OrDash(record.fileSystemName), OrDash(record.label),
                   std::to_string(record.start), std::to_string(record.length),
                   size(record.totalBytes), spaceUnknown ? "-" : size(record.usedBytes),
                   spaceUnknown ? "-" : size(record.freeBytes), OrDash(record.devicePath),
                   OrDash(record.mountPoint)});
    }
  }
  text.Print(context.out);
  if (!platform::HasAdministratorRights()) {
    context.err << "keldrive: note: file systems and labels of unmounted volumes may be "
                   "missing; run as root to read them\n";
  }
  return kExitOk;
}

}  // namespace

const Command& ListCommand() {
  static const Command kCommand{
      "list", "list disks, volumes and unallocated space", kUsage, {{"--json", false}}, &Run};
  return kCommand;
}

}  // namespace keldrive::cli
