#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace keldrive::platform {

struct FileSystemInfo {
  std::string name;  // as FileSystemDisplayName gives it
  std::string label;
};

// Looks for a file system on a device or image file. False when the device cannot be read
// or holds no known file system.
bool ProbeFileSystem(const std::string& devicePath, FileSystemInfo& out);

struct PartitionEntry {
  int number = 0;
  std::uint8_t type = 0;  // MBR type byte, or the MBR equivalent of a GPT type
};

// Reads a disk's partition table for the partition type bytes. False when the disk
// cannot be read or has no partition table.
bool ProbePartitionTypes(const std::string& diskPath, std::vector<PartitionEntry>& out);

// One partition of a partition table, in the table's own sectors.
struct PartitionSlot {
  int number = 0;
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
  std::uint8_t type = 0;  // MBR type byte, or the MBR equivalent of a GPT type
  std::string typeName;   // "0x0c", or the GPT type GUID
  std::string uuid;       // the partition's GPT GUID or MBR "disk id-number"; may be empty
};

struct PartitionTable {
  std::string scheme;             // "dos" or "gpt"
  std::uint32_t sectorBytes = 512;
  std::vector<PartitionSlot> partitions;  // by start sector; extended containers left out
};

// Reads the partition table of a disk image or device, trying 512-byte sectors and then
// 4096-byte ones (a GPT written for a 4Kn disk puts its header at byte 4096). False when
// the file cannot be read or holds no partition table.
bool ProbePartitionTable(const std::string& path, PartitionTable& out);

// The name a file system is shown by: "NTFS", "FAT32", "FAT" (FAT12 and FAT16), "exFAT",
// and the prober's own name for everything else ("ext4", "btrfs").
std::string FileSystemDisplayName(std::string_view proberType, std::string_view version);

// The MBR type byte that stands for a GPT partition type GUID; 0 for types without one.
std::uint8_t MbrTypeForGptType(std::string_view guid);

// MBR container partitions hold other partitions, not a volume.
bool IsExtendedPartitionType(std::uint8_t type);

}  // namespace keldrive::platform
