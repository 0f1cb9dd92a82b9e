#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "platform/volume_probe.h"

// The names and type numbers every platform's prober reports by.
namespace keldrive::platform {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string FileSystemDisplayName(std::string_view proberType, std::string_view version) {
  if (proberType == "ntfs") return "NTFS";
  if (proberType == "vfat" || proberType == "msdos") {
    return EqualNoCase(version, "FAT32") ? "FAT32" : "FAT";
  }
  if (proberType == "exfat") return "exFAT";
  return std::string(proberType);
}

std::uint8_t MbrTypeForGptType(std::string_view guid) {
  static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 9> kTypes{{
      {"ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", 0x07},  // Microsoft basic data
      {"de94bba4-06d1-4d40-a16a-bfd50179d6ac", 0x27},  // Windows recovery
      {"c12a7328-f81f-11d2-ba4b-00a0c93ec93b", 0xEF},  // EFI system
      {"0fc63daf-8483-4772-8e79-3d69d8477de4", 0x83},  // Linux file system
      {"4f68bce3-e8cd-4db1-96e7-fbcaf984b709", 0x83},  // Linux root (x86-64)
      {"933ac7e1-2eb4-4f13-b844-0e14e2aef915", 0x83},  // Linux home
      {"0657fd6d-a4ab-43c4-84e5-0933c84b4f4f", 0x82},  // Linux swap
      {"e6d6d379-f507-44c2-a23c-238f2a3df928", 0x8E},  // Linux LVM
      {"a19d880f-05fc-4d3b-a006-743f0f84911e", 0xFD},  // Linux RAID
  }};
  for (const auto& [known, type] : kTypes) {
    if (EqualNoCase(known, guid)) return type;
  }
  return 0;
}

bool IsExtendedPartitionType(std::uint8_t type) {
  return type == 0x05 || type == 0x0F || type == 0x85;
}

}  // namespace keldrive::platform
