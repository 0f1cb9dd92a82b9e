#include "platform/disk_catalog.h"

#include <windows.h>
// StringFromGUID2, which WIN32_LEAN_AND_MEAN leaves out of windows.h.
#include <objbase.h>
#include <winioctl.h>

#include <vector>

#include "platform/disk_assembly.h"
#include "platform/volume_probe.h"
#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

// Disk numbers are the N of \\.\PhysicalDriveN; numbers may have gaps after removals.
constexpr int kMaxDiskNumber = 64;

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// No access rights are needed for the queries below, so the catalogue works without
// administrator rights; reading the disk later does need them.
HANDLE OpenForQueries(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

template <typename T>
bool Query(HANDLE handle, DWORD code, T& out) {
  DWORD returned = 0;
  return DeviceIoControl(handle, code, nullptr, 0, &out, sizeof out, &returned, nullptr) != 0;
}

// Variable-length answers: grow the buffer until the answer fits.
bool QueryGrowing(HANDLE handle, DWORD code, std::vector<std::uint8_t>& out) {
  out.assign(4096, 0);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD returned = 0;
    if (DeviceIoControl(handle, code, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                        &returned, nullptr) != 0) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
    out.assign(out.size() * 2, 0);
  }
  return false;
}

std::string GuidText(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);  // "{xxxxxxxx-...}"
  std::string narrow = win32::Narrow(std::wstring(text + 1, 36));
  for (char& c : narrow) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return narrow;
}

void ReadBus(HANDLE handle, DiskFacts& facts) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<std::uint8_t> buffer(1024);
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                      static_cast<DWORD>(buffer.size()), &returned, nullptr) == 0 ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    return;
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
  facts.removableMedia = descriptor->RemovableMedia != 0;
  facts.usbOrCardBus = descriptor->BusType == BusTypeUsb || descriptor->BusType == BusTypeSd ||
                       descriptor->BusType == BusTypeMmc;
}

void ReadLayout(HANDLE handle, DiskFacts& facts) {
  std::vector<std::uint8_t> buffer;
  if (!QueryGrowing(handle, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, buffer)) return;
  const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
  for (DWORD i = 0; i < layout->PartitionCount; ++i) {
    const PARTITION_INFORMATION_EX& p = layout->PartitionEntry[i];
    if (p.PartitionLength.QuadPart == 0) continue;  // an empty MBR slot
    DiskFacts::Partition partition;
    partition.number = static_cast<int>(p.PartitionNumber);
    partition.startBytes = static_cast<std::uint64_t>(p.StartingOffset.QuadPart);
    partition.lengthBytes = static_cast<std::uint64_t>(p.PartitionLength.QuadPart);
    if (p.PartitionStyle == PARTITION_STYLE_MBR) {
      partition.type = p.Mbr.PartitionType;
      // Extended containers come with number 0; their logical drives come after.
      if (partition.number == 0 && !IsExtendedPartitionType(partition.type)) continue;
    } else if (p.PartitionStyle == PARTITION_STYLE_GPT) {
      partition.type = MbrTypeForGptType(GuidText(p.Gpt.PartitionType));
    }
    facts.partitions.push_back(partition);
  }
}

bool ReadDisk(int number, DiskFacts& facts) {
  const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
  Handle handle(OpenForQueries(path));
  if (!handle.Valid()) return false;
  GET_LENGTH_INFORMATION length{};
  // A card reader without a card answers no length: left out, as on Linux.
  if (!Query(handle.Get(), IOCTL_DISK_GET_LENGTH_INFO, length) || length.Length.QuadPart == 0) {
    return false;
  }
  facts.deviceNumber = number;
  facts.lengthBytes = static_cast<std::uint64_t>(length.Length.QuadPart);
  DISK_GEOMETRY_EX geometry{};
  if (Query(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, geometry)) {
    facts.hasGeometry = true;
    facts.geometry.cylinders = static_cast<std::uint64_t>(geometry.Geometry.Cylinders.QuadPart);
    facts.geometry.mediaType =
        geometry.Geometry.MediaType == RemovableMedia ? kMediaRemovable : kMediaFixed;
    facts.geometry.tracksPerCylinder = geometry.Geometry.TracksPerCylinder;
    facts.geometry.sectorsPerTrack = geometry.Geometry.SectorsPerTrack;
    facts.geometry.bytesPerSector = geometry.Geometry.BytesPerSector;
  }
  ReadBus(handle.Get(), facts);
  ReadLayout(handle.Get(), facts);
  return true;
}

void ReadVolumePaths(const std::wstring& volumeName, VolumeFacts& facts) {
  std::vector<wchar_t> names(MAX_PATH + 1);
  DWORD needed = 0;
  if (GetVolumePathNamesForVolumeNameW(volumeName.c_str(), names.data(),
                                       static_cast<DWORD>(names.size()), &needed) == 0) {
    if (GetLastError() != ERROR_MORE_DATA) return;
    names.assign(needed, L'\0');
    if (GetVolumePathNamesForVolumeNameW(volumeName.c_str(), names.data(),
                                         static_cast<DWORD>(names.size()), &needed) == 0) {
      return;
    }
  }
  // A list of strings ending with an empty one; a drive letter is preferred to a folder.
  for (const wchar_t* name = names.data(); *name != L'\0'; name += wcslen(name) + 1) {
    const std::wstring path(name);
    const bool letter = path.size() == 3 && path[1] == L':';
    if (facts.mountPoint.empty() || letter) facts.mountPoint = win32::Narrow(path);
    if (letter) facts.driveLetter = static_cast<char16_t>(towupper(path[0]));
  }
}

bool ReadVolume(const std::wstring& volumeName, VolumeFacts& facts) {
  facts.volumeName = win32::Narrow(volumeName);
  // The device is the name without its trailing backslash.
  Handle handle(OpenForQueries(volumeName.substr(0, volumeName.size() - 1)));
  if (!handle.Valid()) return false;
  std::vector<std::uint8_t> buffer;
  if (!QueryGrowing(handle.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, buffer)) return false;
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  if (extents->NumberOfDiskExtents != 1) return false;  // spanned and striped volumes
  facts.deviceNumber = static_cast<int>(extents->Extents[0].DiskNumber);
  facts.startBytes = static_cast<std::uint64_t>(extents->Extents[0].StartingOffset.QuadPart);
  facts.lengthBytes = static_cast<std::uint64_t>(extents->Extents[0].ExtentLength.QuadPart);
  ReadVolumePaths(volumeName, facts);
  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fileSystem[MAX_PATH + 1] = {};
  if (GetVolumeInformationW(volumeName.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                            fileSystem, MAX_PATH + 1) != 0) {
    facts.label = win32::Narrow(label);
    facts.fileSystem = win32::Narrow(fileSystem);
  }
  ULARGE_INTEGER total{};
  ULARGE_INTEGER free{};
  if (GetDiskFreeSpaceExW(volumeName.c_str(), nullptr, &total, &free) != 0) {
    facts.spaceKnown = true;
    facts.totalBytes = total.QuadPart;
    facts.freeBytes = free.QuadPart;
  }
  return true;
}

std::vector<VolumeFacts> ReadVolumes() {
  std::vector<VolumeFacts> volumes;
  wchar_t name[MAX_PATH + 1] = {};
  HANDLE search = FindFirstVolumeW(name, MAX_PATH + 1);
  if (search == INVALID_HANDLE_VALUE) return volumes;
  do {
    VolumeFacts facts;
    if (ReadVolume(name, facts)) volumes.push_back(std::move(facts));
  } while (FindNextVolumeW(search, name, MAX_PATH + 1) != 0);
  FindVolumeClose(search);
  return volumes;
}

}  // namespace

ResultCode ListDisks(const SystemRoots&, bool withVolumes, std::vector<PlatformDisk>& out) {
  std::vector<DiskFacts> disks;
  for (int number = 0; number < kMaxDiskNumber; ++number) {
    DiskFacts facts;
    if (ReadDisk(number, facts)) disks.push_back(std::move(facts));
  }
  out = AssembleDisks(std::move(disks), withVolumes ? ReadVolumes() : std::vector<VolumeFacts>{},
                      withVolumes);
  return result::kSuccess;
}

ResultCode OpenDisk(int number, std::unique_ptr<FileHandle>& out, const SystemRoots&) {
  if (number < 0) return result::kInvalidParameter;
  auto handle = std::make_unique<FileHandle>();
  const ResultCode rc =
      FileHandle::OpenReadOnly("\\\\.\\PhysicalDrive" + std::to_string(number), *handle);
  if (rc != result::kSuccess) return rc;
  out = std::move(handle);
  return result::kSuccess;
}

}  // namespace keldrive::platform
