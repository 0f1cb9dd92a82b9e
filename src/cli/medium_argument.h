#pragma once

#include <cstdint>
#include <string>

#include "disk/sector_device.h"
#include "disk/volume_record.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive::cli {

// What a MEDIUM argument names: an image file, a whole disk, or a stretch of a disk (a
// partition, a gap) given by its device node or by its number in `keldrive list`.
struct MediumChoice {
  enum class Kind { kImage, kDisk, kStretch };
  Kind kind = Kind::kImage;
  std::string path;               // the image path or the device node
  int diskNumber = -1;            // disks and stretches
  std::uint64_t firstSector = 0;  // stretches: where they begin on the disk
  std::uint64_t sectorCount = 0;  // stretches: their length
  VolumeRecord record;            // stretches: the record from the media list
};

// True for an argument of digits only: a number from `keldrive list` unless a file has that
// name.
bool IsListNumber(const std::string& argument);

// True when two paths name the same file or device node, whatever links lead to it.
bool NamesSameMedium(const std::string& a, const std::string& b);

// Resolves the argument. An all-digit argument is a number from `keldrive list`; a block
// device is a disk or one of its partitions; anything else is an image file. On failure
// returns a code and a message naming the argument.
ResultCode ResolveMedium(const std::string& argument, const platform::SystemRoots& roots,
                         MediumChoice& out, std::string& message);

// Opens the medium read-only. `sectorSize` is the disk's own sector size, 512 for images.
ResultCode OpenMedium(const MediumChoice& medium, SectorDevice& device, std::uint32_t& sectorSize);

// A one-line explanation of a failed open, with a hint where one helps.
std::string DescribeOpenFailure(const MediumChoice& medium, ResultCode code);

}  // namespace keldrive::cli
