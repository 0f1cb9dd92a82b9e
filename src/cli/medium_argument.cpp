#include "cli/medium_argument.h"

#include <algorithm>
#include <cctype>

#include "disk/volume_table.h"
#include "platform/disk_catalog.h"
#include "platform/path_info.h"

namespace keldrive::cli {

bool IsListNumber(const std::string& argument) {
  return !argument.empty() && argument.size() <= 9 &&
         std::all_of(argument.begin(), argument.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

bool NamesSameMedium(const std::string& a, const std::string& b) {
  return a == b || platform::IsSameFile(a, b);
}

ResultCode ResolveMedium(const std::string& argument, const platform::SystemRoots& roots,
                         MediumChoice& out, std::string& message) {
  out = MediumChoice{};
  const platform::PathKind kind = platform::QueryPathKind(argument);
  const bool isFile = kind != platform::PathKind::kMissing;

  if (IsListNumber(argument) && !isFile) {
    VolumeTable table;
    if (EnumerateVolumes(table, roots) == 0) {
      message = "cannot list the machine's disks";
      return result::kPathNotFound;
    }
    const int number = std::stoi(argument);
    std::vector<VolumeRecord> records;
    ListAllVolumes(table, records);
    for (const VolumeRecord& record : records) {
      if (record.HasDriveLetter() || record.driveLetter != number) continue;
      out.kind = MediumChoice::Kind::kStretch;
      out.path = record.devicePath;
      out.diskNumber = record.diskNumber;
      out.firstSector = record.start;
      out.sectorCount = record.length;
      out.record = record;
      return result::kSuccess;
    }
    message = "no medium number " + argument + " (see keldrive list)";
    return result::kFileNotFound;
  }

  if (!isFile) {
    message = "no such file or device";
    return result::kFileNotFound;
  }

  if (kind == platform::PathKind::kDirectory) {
    message = "is a folder, not an image file or a device";
    return result::kDirectory;
  }
  if (kind == platform::PathKind::kBlockDevice) {
    std::vector<platform::PlatformDisk> disks;
    platform::ListDisks(roots, false, disks);
    for (const platform::PlatformDisk& disk : disks) {
      if (!NamesSameMedium(argument, disk.devicePath)) continue;
      out.kind = MediumChoice::Kind::kDisk;
      out.path = disk.devicePath;
      out.diskNumber = disk.number;
      return result::kSuccess;
    }
    VolumeTable table;
    EnumerateVolumes(table, roots);
    std::vector<VolumeRecord> records;
    ListAllVolumes(table, records);
    for (const VolumeRecord& record : records) {
      if (record.partitionNumber <= 0 || !NamesSameMedium(argument, record.devicePath)) continue;
      out.kind = MediumChoice::Kind::kStretch;
      out.path = record.devicePath;
      out.diskNumber = record.diskNumber;
      out.firstSector = record.start;
      out.sectorCount = record.length;
      out.record = record;
      return result::kSuccess;
    }
    // A block device that is not on the media list (a device-mapper or md device) is read
    // like an image file.
  }
  out.kind = MediumChoice::Kind::kImage;
  out.path = argument;
  return result::kSuccess;
}

ResultCode OpenMedium(const MediumChoice& medium, SectorDevice& device, std::uint32_t& sectorSize) {
  sectorSize = kImageSectorBytes;
  if (medium.kind == MediumChoice::Kind::kImage) return OpenImageFile(medium.path, device);
  if (const ResultCode rc = OpenPhysicalDisk(device, medium.diskNumber); rc != result::kSuccess) {
    return rc;
  }
  platform::DiskGeometry geometry;
  if (device.handle->QueryGeometry(geometry) == result::kSuccess && geometry.bytesPerSector != 0) {
    sectorSize = geometry.bytesPerSector;
  }
  return result::kSuccess;
}

std::string DescribeOpenFailure(const MediumChoice& medium, ResultCode code) {
  std::string text = "cannot open: " + DescribeResult(code);
  if (code == result::kAccessDenied && medium.kind != MediumChoice::Kind::kImage) {
    text += platform::HasAdministratorRights()
                ? " (the system does not allow raw access to this device)"
                : " (reading raw disks needs root; try sudo)";
  }
  return text;
}

}  // namespace keldrive::cli
