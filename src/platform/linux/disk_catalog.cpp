#include "platform/disk_catalog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>

#include "platform/mount_table.h"
#include "platform/volume_probe.h"

namespace keldrive::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSysfsSectorBytes = 512;  // sysfs sizes are always in 512-byte units
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

std::string ReadFirstLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool ReadNumber(const fs::path& path, std::uint64_t& value) {
  const std::string text = ReadFirstLine(path);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Natural order: digit runs compare by value, so nvme2n1 sorts before nvme10n1.
bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// SCSI, virtio, IDE and Xen disks are numbered by letters: sdz is followed by sdaa.
struct DiskName {
  std::string_view family;
  std::string_view letters;
};

DiskName SplitLetteredName(std::string_view name) {
  for (std::string_view family : {"xvd", "sd", "vd", "hd"}) {
    if (name.substr(0, family.size()) != family) continue;
    const std::string_view letters = name.substr(family.size());
    if (!letters.empty() &&
        std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
      return {family, letters};
    }
  }
  return {name, {}};
}

bool DiskNameLess(std::string_view a, std::string_view b) {
  const DiskName na = SplitLetteredName(a), nb = SplitLetteredName(b);
  if (!na.letters.empty() && !nb.letters.empty() && na.family == nb.family) {
    if (na.letters.size() != nb.letters.size()) return na.letters.size() < nb.letters.size();
    return na.letters < nb.letters;
  }
  return NaturalLess(a, b);
}

bool IsLoop(std::string_view name) {
  return StartsWith(name, "loop");
}

// Disks in the sense of the media list: physical disks, memory cards, USB sticks, and
// loop devices that have an image behind them.
bool IsListedDisk(const fs::path& entry, std::string_view name) {
  for (std::string_view skipped : {"ram", "zram", "dm-", "md", "sr", "fd", "nbd"}) {
    if (StartsWith(name, skipped)) return false;
  }
  std::error_code ec;
  if (IsLoop(name) && !fs::exists(entry / "loop" / "backing_file", ec)) return false;
  std::uint64_t size = 0;
  return ReadNumber(entry / "size", size) && size != 0;
}

bool DiskOrder(const std::string& a, const std::string& b) {
  if (IsLoop(a) != IsLoop(b)) return !IsLoop(a);
  return DiskNameLess(a, b);
}

// udev's database, which names file systems and partition types without reading the device.
std::map<std::string, std::string> ReadUdevProperties(const SystemRoots& roots,
                                                      const std::string& majorMinor) {
  std::map<std::string, std::string> properties;
  std::ifstream file(fs::path(roots.udevData) / ("b" + majorMinor));
  std::string line;
  while (std::getline(file, line)) {
    if (!StartsWith(line, "E:")) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    properties.emplace(line.substr(2, equals - 2), line.substr(equals + 1));
  }
  return properties;
}

std::string Property(const std::map<std::string, std::string>& properties, const char* key) {
  const auto it = properties.find(key);
  return it != properties.end() ? it->second : std::string();
}

// The file system from the device itself, else from udev's database, else from the kernel's
// mount table (which names it without a version or label).
void FillFileSystem(const SystemRoots& roots, const std::vector<MountEntry>& mounts,
                    const std::string& majorMinor, PlatformVolume& volume) {
  FileSystemInfo info;
  if (ProbeFileSystem(volume.devicePath, info)) {
    volume.fileSystem = info.name;
    volume.label = info.label;
    return;
  }
  const auto udev = ReadUdevProperties(roots, majorMinor);
  const std::string type = Property(udev, "ID_FS_TYPE");
  if (!type.empty()) {
    volume.fileSystem = FileSystemDisplayName(type, Property(udev, "ID_FS_VERSION"));
    volume.label = Property(udev, "ID_FS_LABEL");
    return;
  }
  for (const MountEntry& mount : mounts) {
    if (mount.device == majorMinor || mount.source == volume.devicePath) {
      volume.fileSystem = FileSystemDisplayName(mount.fileSystem, "");
      return;
    }
  }
}

std::uint8_t UdevPartitionType(const SystemRoots& roots, const std::string& majorMinor) {
  const auto udev = ReadUdevProperties(roots, majorMinor);
  const std::string type = Property(udev, "ID_PART_ENTRY_TYPE");
  if (Property(udev, "ID_PART_ENTRY_SCHEME") == "gpt") return MbrTypeForGptType(type);
  unsigned value = 0;
  std::string_view digits = type;
  if (StartsWith(digits, "0x")) digits.remove_prefix(2);
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return ec == std::errc() && value <= 0xFF ? static_cast<std::uint8_t>(value) : 0;
}

void FillSpace(const std::vector<MountEntry>& mounts, const std::string& majorMinor,
               PlatformVolume& volume) {
  volume.mountPoint = FindMountPoint(mounts, majorMinor, volume.devicePath);
  if (!volume.mountPoint.empty()) {
    volume.spaceKnown =
        QuerySpace(volume.mountPoint, volume.totalBytes, volume.freeBytes) == result::kSuccess;
  }
}

void ListVolumes(const SystemRoots& roots, const fs::path& diskEntry,
                 const std::vector<MountEntry>& mounts, PlatformDisk& disk) {
  std::vector<PartitionEntry> tableTypes;
  const bool haveTable = ProbePartitionTypes(disk.devicePath, tableTypes);

  std::error_code ec;
  std::vector<std::string> partitionNames;
  for (const auto& child : fs::directory_iterator(diskEntry, ec)) {
    if (fs::exists(child.path() / "partition", ec)) {
      partitionNames.push_back(child.path().filename().string());
    }
  }
  std::sort(partitionNames.begin(), partitionNames.end(), NaturalLess);

  for (const std::string& name : partitionNames) {
    const fs::path entry = diskEntry / name;
    std::uint64_t number = 0, start = 0, size = 0;
    if (!ReadNumber(entry / "partition", number)) continue;
    PlatformVolume volume;
    volume.partitionNumber = static_cast<int>(std::min<std::uint64_t>(number, 0x7FFFFFFF));
    volume.devicePath = (fs::path(roots.dev) / name).string();
    if (ReadNumber(entry / "start", start) && ReadNumber(entry / "size", size) &&
        start <= UINT64_MAX / kSysfsSectorBytes && size <= UINT64_MAX / kSysfsSectorBytes) {
      volume.startBytes = start * kSysfsSectorBytes;
      volume.lengthBytes = size * kSysfsSectorBytes;
      volume.hasPosition = true;
    }
    const std::string majorMinor = ReadFirstLine(entry / "dev");
    if (haveTable) {
      for (const PartitionEntry& row : tableTypes) {
        if (row.number == volume.partitionNumber) volume.partitionType = row.type;
      }
    } else {
      volume.partitionType = UdevPartitionType(roots, majorMinor);
    }
    if (IsExtendedPartitionType(volume.partitionType)) continue;
    FillFileSystem(roots, mounts, majorMinor, volume);
    FillSpace(mounts, majorMinor, volume);
    disk.volumes.push_back(std::move(volume));
  }

  // A file system written over the whole disk, as on many USB sticks and on virtual disks.
  if (partitionNames.empty()) {
    PlatformVolume volume;
    volume.partitionNumber = 0;
    volume.devicePath = disk.devicePath;
    volume.lengthBytes = disk.lengthBytes;
    volume.hasPosition = true;
    const std::string majorMinor = ReadFirstLine(diskEntry / "dev");
    FillFileSystem(roots, mounts, majorMinor, volume);
    if (!volume.fileSystem.empty()) {
      FillSpace(mounts, majorMinor, volume);
      disk.volumes.push_back(std::move(volume));
    }
  }
}

PlatformDisk DescribeDisk(const fs::path& entry, const std::string& name,
                          const SystemRoots& roots) {
  PlatformDisk disk;
  disk.name = name;
  disk.devicePath = (fs::path(roots.dev) / name).string();
  std::uint64_t sectors = 0;
  ReadNumber(entry / "size", sectors);
  disk.lengthBytes = sectors <= UINT64_MAX / kSysfsSectorBytes ? sectors * kSysfsSectorBytes : 0;

  std::uint64_t sectorSize = 0;
  if (!ReadNumber(entry / "queue" / "logical_block_size", sectorSize) || sectorSize == 0 ||
      sectorSize > 65536) {
    sectorSize = kSysfsSectorBytes;
  }
  std::uint64_t removable = 0;
  ReadNumber(entry / "removable", removable);
  disk.removableMedia = removable != 0;

  // The bus shows in the device's place in the sysfs tree.
  std::error_code ec;
  const std::string where = fs::canonical(entry, ec).string();
  disk.usbOrCardBus =
      !ec && (where.find("/usb") != std::string::npos || where.find("/mmc") != std::string::npos);

  disk.hasGeometry = true;
  disk.geometry.bytesPerSector = static_cast<std::uint32_t>(sectorSize);
  disk.geometry.tracksPerCylinder = kHeads;
  disk.geometry.sectorsPerTrack = kSectorsPerTrack;
  disk.geometry.cylinders = disk.lengthBytes / sectorSize / (kHeads * kSectorsPerTrack);
  disk.geometry.mediaType = disk.removableMedia ? kMediaRemovable : kMediaFixed;
  disk.backingFile = ReadFirstLine(entry / "loop" / "backing_file");
  return disk;
}

}  // namespace

ResultCode ListDisks(const SystemRoots& roots, bool withVolumes, std::vector<PlatformDisk>& out) {
  out.clear();
  const fs::path blockRoot = fs::path(roots.sys) / "block";
  std::error_code ec;
  fs::directory_iterator entries(blockRoot, ec);
  if (ec) return ec.value() == ENOENT ? result::kPathNotFound : result::kAccessDenied;

  std::vector<std::string> names;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (IsListedDisk(entry.path(), name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), DiskOrder);

  const std::vector<MountEntry> mounts =
      withVolumes ? ReadMountTable((fs::path(roots.proc) / "self" / "mountinfo").string())
                  : std::vector<MountEntry>{};
  for (const std::string& name : names) {
    PlatformDisk disk = DescribeDisk(blockRoot / name, name, roots);
    disk.number = static_cast<int>(out.size());
    if (withVolumes) ListVolumes(roots, blockRoot / name, mounts, disk);
    out.push_back(std::move(disk));
  }
  return result::kSuccess;
}

ResultCode OpenDisk(int number, std::unique_ptr<FileHandle>& out, const SystemRoots& roots) {
  std::vector<PlatformDisk> disks;
  if (const ResultCode rc = ListDisks(roots, false, disks); rc != result::kSuccess) return rc;
  if (number < 0 || static_cast<std::size_t>(number) >= disks.size()) {
    return result::kFileNotFound;
  }
  auto handle = std::make_unique<FileHandle>();
  if (const ResultCode rc =
          FileHandle::OpenReadOnly(disks[static_cast<std::size_t>(number)].devicePath, *handle);
      rc != result::kSuccess) {
    return rc;
  }
  out = std::move(handle);
  return result::kSuccess;
}

}  // namespace keldrive::platform
