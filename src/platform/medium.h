#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Media types of a drive geometry, numbered as the platform numbers them.
inline constexpr std::uint32_t kMediaRemovable = 11;
inline constexpr std::uint32_t kMediaFixed = 12;

// The geometry a disk reports. Linux has no real geometry for modern disks, so its
// platform layer reports the usual 255 heads and 63 sectors per track around the true
// sector size.
struct DiskGeometry {
  std::uint64_t cylinders = 0;
  std::uint32_t mediaType = kMediaFixed;
  std::uint32_t tracksPerCylinder = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint32_t bytesPerSector = 0;
};

// Something that can be read at byte offsets: a raw disk, an image file, or an in-memory
// medium in tests. Nothing in the core ever writes to a Medium.
class Medium {
 public:
  virtual ~Medium() = default;
  Medium() = default;
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  // Reads up to out.size() bytes at the given offset. On success `got` is the number of
  // bytes delivered, which may be short and is 0 at the end of the medium.
  virtual ResultCode ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                            std::size_t& got) = 0;

  // The length in bytes: a file's size or a block device's length.
  virtual ResultCode QuerySize(std::uint64_t& bytes) = 0;

  virtual ResultCode QueryGeometry(DiskGeometry& geometry) = 0;

  // The path or device node, for messages.
  virtual std::string Name() const = 0;

  // A hint that the reads to come run from front to back, so that the system may read
  // further ahead of them. Media without such a notion ignore it.
  virtual void ExpectSequentialReads() {}
};

}  // namespace keldrive::platform
