#include "platform/volume_probe.h"

#include <blkid.h>

#include <algorithm>
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

}  // namespace

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
  std::sort(
      out.partitions.begin(), out.partitions.end(),
      [](const PartitionSlot& a, const PartitionSlot& b) { return a.startSector < b.startSector; });
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
