#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/medium_argument.h"
#include "disk/sector_device.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive dump MEDIUM SECTOR [COUNT]\n"
    "\n"
    "Prints COUNT sectors (default 1, at most 64) of MEDIUM from SECTOR on in hex.\n"
    "For a partition or a number from keldrive list, SECTOR counts from its start.\n";

constexpr std::uint64_t kMaxDumpSectors = 64;

bool ParseCount(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

void PrintHex(std::ostream& out, std::uint64_t firstByte, const std::uint8_t* bytes,
              std::size_t size) {
  char line[128];
  for (std::size_t row = 0; row < size; row += 16) {
    int used = std::snprintf(line, sizeof line, "%012llx ",
                             static_cast<unsigned long long>(firstByte + row));
    std::string ascii;
    for (std::size_t i = 0; i < 16 && row + i < size; ++i) {
      const std::uint8_t b = bytes[row + i];
      used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), " %02x", b);
      ascii.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
    }
    out << line << "  " << ascii << '\n';
  }
}

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::uint64_t sector = 0, count = 1;
  if (words.size() < 2 || words.size() > 3 || !ParseCount(words[1], sector) ||
      (words.size() == 3 && !ParseCount(words[2], count)) || count == 0 ||
      count > kMaxDumpSectors) {
    ReportError(context, "dump", "needs MEDIUM SECTOR [COUNT] with COUNT from 1 to 64");
    return kExitUsage;
  }
  MediumChoice medium;
  std::string message;
  if (ResolveMedium(words[0], context.roots, medium, message) != result::kSuccess) {
    ReportError(context, words[0], message);
    return kExitFailure;
  }
  SectorDevice device;
  std::uint32_t sectorSize = 0;
  if (const ResultCode rc = OpenMedium(medium, device, sectorSize); rc != result::kSuccess) {
    ReportError(context, medium.path, DescribeOpenFailure(medium, rc));
    return kExitFailure;
  }
  if (medium.kind == MediumChoice::Kind::kStretch) {
    if (sector >= medium.sectorCount || count > medium.sectorCount - sector) {
      ReportError(context, words[0], "sectors beyond the end of the medium");
      return kExitFailure;
    }
    sector += medium.firstSector;
  }
  std::vector<std::uint8_t> buffer(count * sectorSize);
  std::int32_t got = 0;
  const ResultCode rc = ReadSectors(device, buffer, sector, static_cast<std::int32_t>(count),
                                    static_cast<std::int32_t>(sectorSize), got);
  PrintHex(context.out, sector * sectorSize, buffer.data(),
           static_cast<std::size_t>(got) * sectorSize);
  if (rc != result::kSuccess) {
    ReportError(context, medium.path,
                "sector " + std::to_string(sector + static_cast<std::uint64_t>(got)) + ": " +
                    DescribeResult(rc));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

const Command& DumpCommand() {
  static const Command kCommand{"dump", "print sectors of a medium in hex", kUsage, {}, &Run};
  return kCommand;
}

}  // namespace keldrive::cli
