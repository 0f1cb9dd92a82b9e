#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_output.h"
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
    Json json;
    json["image"] = image;
    json["partitioned"] = layout.partitioned;
    json["scheme"] = layout.scheme;
    json["sectorSize"] = layout.whole.source.sectorBytes;
    json["sectors"] = layout.whole.sectors.Count();
    json["areas"] = Json::array();
    for (const ScanArea& area : layout.areas) {
      Json row;
      row["number"] = area.number;
      row["kind"] = AreaKindName(area.kind);
      row["partition"] = area.partitionNumber;
      row["type"] = static_cast<int>(area.type);
      row["fileSystem"] = area.fileSystem;
      row["startSector"] = area.sectors.First();
      row["sectors"] = area.sectors.Count();
      row["bytes"] = bytesOf(area);
      json["areas"].push_back(std::move(row));
    }
    WriteJson(context.out, json);
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
    Json json = Json::array();
    for (const auto& [disk, records] : table.disks) {
      const bool removable = IsRemovableDisk(disk, context.roots);
      for (const VolumeRecord& record : records) {
        Json volume;
        volume["number"] = static_cast<int>(record.driveLetter);
        volume["kind"] = KindOf(record, records.size());
        volume["disk"] = record.diskNumber;
        volume["partition"] = record.partitionNumber;
        volume["type"] = static_cast<int>(record.type);
        volume["fileSystem"] = record.fileSystemName;
        volume["label"] = record.label;
        volume["startSector"] = record.start;
        volume["sectors"] = record.length;
        volume["totalBytes"] = record.totalBytes;
        volume["usedBytes"] = record.usedBytes;
        volume["freeBytes"] = record.freeBytes;
        volume["device"] = record.devicePath;
        volume["mountPoint"] = record.mountPoint;
        volume["removable"] = removable;
        json.push_back(std::move(volume));
      }
    }
    WriteJson(context.out, json);
    return kExitOk;
  }

  if (table.disks.empty()) {
    // Said, not left as a bare header: a machine without disks is rare (a container, Wine).
    context.out << "No disks found. Give an image file to scan one (keldrive list IMAGE).\n";
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
