#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/path_info.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive {

// What a disk image is copied from, as the target checks need it.
struct ImageSource {
  enum class Kind { kImageFile, kWholeDisk, kPartition };
  Kind kind = Kind::kImageFile;
  // The image file, or the device node of the partition or disk. For a gap between
  // partitions, the node of its disk: an image of a failing disk belongs on another one.
  std::string path;
  std::uint64_t bytes = 0;
};

// The first target check that failed. The front ends turn these into their messages (the
// desktop program: kOnSourceVolume "MSG0218", kTooLargeForFat "MSG0219",
// kTooLargeForFat32 "MSG0220", kNotEnoughSpace "MSG0221").
enum class ImageTargetProblem {
  kNone,
  kOnSourceVolume,    // on the partition being copied, or on any volume of the disk copied
  kTooLargeForFat32,  // the image would be 4 GiB or more on FAT32
  kTooLargeForFat,    // the image would be more than 2 GiB on FAT12/FAT16
  kNotEnoughSpace,    // the free space is not larger than the image
  kIsSource,          // the target is the source image file itself
  kNotAFile,          // the target is a folder or a device
};

// The questions the checks ask of the system, replaceable so that tests need no volumes.
// `folder` is the folder the image goes into.
struct ImageTargetQueries {
  std::function<ResultCode(const std::string& folder, std::string& name)> fileSystemName;
  std::function<ResultCode(const std::string& folder, std::uint64_t& bytes)> freeBytes;
  // Whether files under the folder land on the device or on one of its partitions.
  std::function<bool(const std::string& folder, const std::string& devicePath)> folderIsOnDevice;
  std::function<platform::PathKind(const std::string& path)> pathKind;
  std::function<bool(const std::string& a, const std::string& b)> sameFile;
  // The size of an existing file, 0 when there is none: the space its replacement frees.
  std::function<std::uint64_t(const std::string& path)> fileBytes;
};

// The queries answered by this machine.
ImageTargetQueries SystemImageTargetQueries(const platform::SystemRoots& roots = {});

// Checks a target for an image of `source`, in this order: not the source itself and a
// file, not on the source (for a whole disk: on none of its volumes), not 4 GiB or more
// on FAT32 nor more than 2 GiB on another FAT (exFAT has no such limit), and more free
// space than the source, counting the space an existing target gives back. A check whose
// query fails is passed over.
ImageTargetProblem CheckImageTarget(const ImageSource& source, const std::string& targetPath,
                                    const ImageTargetQueries& queries);

// The checks a map file beside the image needs: not the source, a file, not on the source.
ImageTargetProblem CheckImageMapPath(const ImageSource& source, const std::string& mapPath,
                                     const ImageTargetQueries& queries);

}  // namespace keldrive
