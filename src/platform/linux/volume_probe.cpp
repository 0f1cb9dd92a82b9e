#include "platform/volume_probe.h"

#include <blkid.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <utility>

namespace keldrive::platform {
namespace {

struct ProbeDeleter {
  void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

std::string LookupValue(blkid_probe probe, const char* name) {
  const char* data = nullptr;
  std::size_t length = 0;
  if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || data == nullptr) return {};
  std::string value(data, length);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

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

bool ProbeFileSystem(const std::string& devicePath, FileSystemInfo& out) {
  Probe probe(blkid_new_probe_from_filename(devicePath.c_str()));
  if (!probe) return false;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(),
                                    BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
  blkid_probe_enable_partitions(probe.get(), 0);
  if (blkid_do_safeprobe(probe.get()) != 0) return false;
  const std::string type = LookupValue(probe.get(), "TYPE");
  if (type.empty()) return false;
  out.name = FileSystemDisplayName(type, LookupValue(probe.get(), "VERSION"));
  out.label = LookupValue(probe.get(), "LABEL");
  return true;
}

namespace {

bool ProbeTableWithSectorSize(const std::string& path, std::uint32_t sectorBytes,
                              PartitionTable& out) {
  Probe probe(blkid_new_probe_from_filename(path.c_str()));
  if (!probe) return false;
  blkid_probe_set_sectorsize(probe.get(), sectorBytes);
  blkid_partlist list = blkid_probe_get_partitions(probe.get());
  if (list == nullptr) return false;
  blkid_parttable table = blkid_partlist_get_table(list);
  if (table == nullptr) return false;
  out = PartitionTable{};
  if (const char* scheme = blkid_parttable_get_type(table)) out.scheme = scheme;
  out.sectorBytes = sectorBytes;
  const int count = blkid_partlist_numof_partitions(list);
  const std::uint64_t per512 = sectorBytes / 512;
  for (int i = 0; i < count; ++i) {
    blkid_partition partition = blkid_partlist_get_partition(list, i);
    if (partition == nullptr) continue;
    const int typeByte = blkid_partition_get_type(partition);
    if (typeByte > 0 && typeByte <= 0xFF &&
        IsExtendedPartitionType(static_cast<std::uint8_t>(typeByte))) {
      continue;
    }
    // libblkid counts in 512-byte sectors whatever the table's sector size.
    const blkid_loff_t start = blkid_partition_get_start(partition);
    const blkid_loff_t size = blkid_partition_get_size(partition);
    if (start < 0 || size <= 0) continue;
    PartitionSlot slot;
    slot.number = blkid_partition_get_partno(partition);
    slot.startSector = static_cast<std::uint64_t>(start) / per512;
    slot.sectorCount = static_cast<std::uint64_t>(size) / per512;
    if (typeByte > 0 && typeByte <= 0xFF) {
      slot.type = static_cast<std::uint8_t>(typeByte);
      static constexpr char kHex[] = "0123456789abcdef";
      slot.typeName = std::string("0x") + kHex[typeByte >> 4] + kHex[typeByte & 15];
    } else if (const char* guid = blkid_partition_get_type_string(partition)) {
      slot.type = MbrTypeForGptType(guid);
      slot.typeName = guid;
    }
    if (const char* uuid = blkid_partition_get_uuid(partition)) slot.uuid = uuid;
    out.partitions.push_back(std::move(slot));
  }
  std::sort(out.partitions.begin(), out.partitions.end(),
            [](const PartitionSlot& a, const PartitionSlot& b) {
              return a.startSector < b.startSector;
            });
  return true;
}

// A GPT read with the wrong sector size shows only its protective MBR: one partition of
// type 0xEE covering the disk.
bool OnlyProtectiveMbr(const PartitionTable& table) {
  return table.scheme == "dos" && table.partitions.size() == 1 && table.partitions[0].type == 0xEE;
}

}  // namespace

bool ProbePartitionTable(const std::string& path, PartitionTable& out) {
  PartitionTable small;
  const bool found = ProbeTableWithSectorSize(path, 512, small);
  if (found && !OnlyProtectiveMbr(small) && small.scheme == "gpt") {
    out = std::move(small);
    return true;
  }
  PartitionTable large;
  if (ProbeTableWithSectorSize(path, 4096, large) && large.scheme == "gpt") {
    out = std::move(large);
    return true;
  }
  if (!found) return false;
  out = std::move(small);
  return true;
}

bool ProbePartitionTypes(const std::string& diskPath, std::vector<PartitionEntry>& out) {
  out.clear();
  Probe probe(blkid_new_probe_from_filename(diskPath.c_str()));
  if (!probe) return false;
  blkid_partlist list = blkid_probe_get_partitions(probe.get());
  if (list == nullptr) return false;
  const int count = blkid_partlist_numof_partitions(list);
  for (int i = 0; i < count; ++i) {
    blkid_partition partition = blkid_partlist_get_partition(list, i);
    if (partition == nullptr) continue;
    PartitionEntry entry;
    entry.number = blkid_partition_get_partno(partition);
    const int type = blkid_partition_get_type(partition);
    if (type > 0 && type <= 0xFF) {
      entry.type = static_cast<std::uint8_t>(type);
    } else if (const char* guid = blkid_partition_get_type_string(partition)) {
      entry.type = MbrTypeForGptType(guid);
    }
    out.push_back(entry);
  }
  return true;
}

}  // namespace keldrive::platform
