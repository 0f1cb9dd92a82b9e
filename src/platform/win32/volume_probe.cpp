#include "platform/volume_probe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "platform/file_handle.h"

// Windows has no libblkid: the boot sector and the partition tables are read here. Only
// what the core asks of them: the file systems Keldrive recovers from, MBR and GPT.
namespace keldrive::platform {
namespace {

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint64_t Le64(std::span<const std::uint8_t> b, std::size_t at) {
  return Le32(b, at) | static_cast<std::uint64_t>(Le32(b, at + 4)) << 32;
}

bool Holds(std::span<const std::uint8_t> b, std::size_t at, std::string_view text) {
  return at + text.size() <= b.size() && std::memcmp(b.data() + at, text.data(), text.size()) == 0;
}

bool ReadFull(FileHandle& file, std::uint64_t offset, std::vector<std::uint8_t>& out) {
  std::size_t got = 0;
  return file.ReadAt(offset, out, got) == result::kSuccess && got == out.size();
}

std::string Trimmed(std::span<const std::uint8_t> b, std::size_t at, std::size_t length) {
  std::string text(reinterpret_cast<const char*>(b.data() + at), length);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// A volume boot record rather than a master boot record: both end in 55 AA.
bool IsBootSectorOfFileSystem(std::span<const std::uint8_t> sector) {
  return Holds(sector, 3, "NTFS    ") || Holds(sector, 3, "EXFAT   ") ||
         Holds(sector, 54, "FAT1") || Holds(sector, 82, "FAT32   ");
}

std::string Hex(std::uint64_t value, int digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kHex[value & 15];
  return text;
}

// A GUID as text: its first three fields are stored little-endian.
std::string GuidText(std::span<const std::uint8_t> b, std::size_t at) {
  std::string text = Hex(Le32(b, at), 8) + "-" +
                     Hex(static_cast<std::uint64_t>(b[at + 4]) | b[at + 5] << 8, 4) + "-" +
                     Hex(static_cast<std::uint64_t>(b[at + 6]) | b[at + 7] << 8, 4) + "-";
  for (std::size_t i = 8; i < 16; ++i) {
    if (i == 10) text += '-';
    text += Hex(b[at + i], 2);
  }
  return text;
}

bool ReadGpt(FileHandle& file, std::uint32_t sectorBytes, PartitionTable& out) {
  std::vector<std::uint8_t> header(sectorBytes);
  if (!ReadFull(file, sectorBytes, header) || !Holds(header, 0, "EFI PART")) return false;
  const std::uint64_t entriesLba = Le64(header, 72);
  const std::uint32_t count = Le32(header, 80);
  const std::uint32_t entryBytes = Le32(header, 84);
  if (entryBytes < 128 || entryBytes > 4096 || count > 1024) return false;
  std::vector<std::uint8_t> entries(static_cast<std::size_t>(count) * entryBytes);
  if (!ReadFull(file, entriesLba * sectorBytes, entries)) return false;
  out = PartitionTable{};
  out.scheme = "gpt";
  out.sectorBytes = sectorBytes;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::span<const std::uint8_t> entry =
        std::span<const std::uint8_t>(entries).subspan(std::size_t{i} * entryBytes, entryBytes);
    if (std::all_of(entry.begin(), entry.begin() + 16, [](std::uint8_t b) { return b == 0; })) {
      continue;
    }
    const std::uint64_t first = Le64(entry, 32);
    const std::uint64_t last = Le64(entry, 40);
    if (last < first) continue;
    PartitionSlot slot;
    slot.number = static_cast<int>(i + 1);
    slot.startSector = first;
    slot.sectorCount = last - first + 1;
    slot.typeName = GuidText(entry, 0);
    slot.type = MbrTypeForGptType(slot.typeName);
    slot.uuid = GuidText(entry, 16);
    out.partitions.push_back(std::move(slot));
  }
  return true;
}

void AddMbrSlot(PartitionTable& table, int number, std::uint64_t start, std::uint64_t count,
                std::uint8_t type, std::uint32_t diskId) {
  PartitionSlot slot;
  slot.number = number;
  slot.startSector = start;
  slot.sectorCount = count;
  slot.type = type;
  slot.typeName = "0x" + Hex(type, 2);
  slot.uuid = Hex(diskId, 8) + "-" + Hex(static_cast<std::uint64_t>(number), 2);
  table.partitions.push_back(std::move(slot));
}

bool ReadMbr(FileHandle& file, PartitionTable& out) {
  std::vector<std::uint8_t> sector(512);
  if (!ReadFull(file, 0, sector) || sector[510] != 0x55 || sector[511] != 0xAA ||
      IsBootSectorOfFileSystem(sector)) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t flag = sector[446 + static_cast<std::size_t>(i) * 16];
    if (flag != 0 && flag != 0x80) return false;
  }
  out = PartitionTable{};
  out.scheme = "dos";
  out.sectorBytes = 512;
  const std::uint32_t diskId = Le32(sector, 440);
  int logical = 5;
  for (int i = 0; i < 4; ++i) {
    const std::size_t at = 446 + static_cast<std::size_t>(i) * 16;
    const std::uint8_t type = sector[at + 4];
    const std::uint64_t start = Le32(sector, at + 8);
    const std::uint64_t count = Le32(sector, at + 12);
    if (type == 0 || count == 0) continue;
    if (!IsExtendedPartitionType(type)) {
      AddMbrSlot(out, i + 1, start, count, type, diskId);
      continue;
    }
    // The logical partitions: a chain of extended boot records, each giving one partition
    // relative to itself and the next record relative to the extended partition's start.
    std::uint64_t record = start;
    for (int guard = 0; guard < 128 && record != 0; ++guard) {
      std::vector<std::uint8_t> ebr(512);
      if (!ReadFull(file, record * 512, ebr) || ebr[510] != 0x55 || ebr[511] != 0xAA) break;
      const std::uint8_t innerType = ebr[446 + 4];
      const std::uint64_t innerCount = Le32(ebr, 446 + 12);
      if (innerType != 0 && innerCount != 0) {
        AddMbrSlot(out, logical++, record + Le32(ebr, 446 + 8), innerCount, innerType, diskId);
      }
      const std::uint64_t next = Le32(ebr, 462 + 8);
      record = IsExtendedPartitionType(ebr[462 + 4]) && next != 0 ? start + next : 0;
    }
  }
  return true;
}

}  // namespace

bool ProbeFileSystem(const std::string& devicePath, FileSystemInfo& out) {
  FileHandle file;
  if (FileHandle::OpenReadOnly(devicePath, file) != result::kSuccess) return false;
  std::vector<std::uint8_t> sector(512);
  if (!ReadFull(file, 0, sector) || sector[510] != 0x55 || sector[511] != 0xAA) return false;
  if (Holds(sector, 3, "NTFS    ")) {
    out = {"NTFS", ""};  // the label lives in $Volume; GetVolumeInformationW gives it
    return true;
  }
  if (Holds(sector, 3, "EXFAT   ")) {
    out = {"exFAT", ""};
    return true;
  }
  if (Holds(sector, 82, "FAT32   ")) {
    out = {"FAT32", Trimmed(sector, 71, 11)};
  } else if (Holds(sector, 54, "FAT1")) {
    out = {"FAT", Trimmed(sector, 43, 11)};
  } else {
    return false;
  }
  if (out.label == "NO NAME") out.label.clear();
  return true;
}

bool ProbePartitionTable(const std::string& path, PartitionTable& out) {
  FileHandle file;
  if (FileHandle::OpenReadOnly(path, file) != result::kSuccess) return false;
  PartitionTable mbr;
  const bool found = ReadMbr(file, mbr);
  const bool protective = found && mbr.partitions.size() == 1 && mbr.partitions[0].type == 0xEE;
  // A GPT written for 4096-byte sectors puts its header at byte 4096.
  for (const std::uint32_t sectorBytes : {512u, 4096u}) {
    if (found && !protective) break;
    PartitionTable gpt;
    if (ReadGpt(file, sectorBytes, gpt)) {
      out = std::move(gpt);
      std::sort(out.partitions.begin(), out.partitions.end(),
                [](const PartitionSlot& a, const PartitionSlot& b) {
                  return a.startSector < b.startSector;
                });
      return true;
    }
  }
  if (!found) return false;
  out = std::move(mbr);
  std::sort(
      out.partitions.begin(), out.partitions.end(),
      [](const PartitionSlot& a, const PartitionSlot& b) { return a.startSector < b.startSector; });
  return true;
}

bool ProbePartitionTypes(const std::string& diskPath, std::vector<PartitionEntry>& out) {
  out.clear();
  PartitionTable table;
  if (!ProbePartitionTable(diskPath, table)) return false;
  for (const PartitionSlot& slot : table.partitions) out.push_back({slot.number, slot.type});
  return true;
}

}  // namespace keldrive::platform
