#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/medium.h"

namespace keldrive::platform {

// An owning handle on a file or device. Media are opened read-only; output files (logs,
// recovered files, images) are opened for writing. The handle closes itself when it is
// destroyed, and Close may be called any number of times.
class FileHandle final : public Medium {
 public:
  FileHandle() = default;
  ~FileHandle() override;
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;

  // Opens an existing file or device for reading only.
  static ResultCode OpenReadOnly(const std::string& path, FileHandle& out);
  // Creates the file, or empties it when it exists, for reading and writing.
  static ResultCode CreateAlways(const std::string& path, FileHandle& out);
  // Opens the file for reading and writing, creating it when missing; keeps its content.
  static ResultCode OpenAlways(const std::string& path, FileHandle& out);

  bool IsOpen() const;
  void Close();

  ResultCode ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override;
  ResultCode QuerySize(std::uint64_t& bytes) override;
  ResultCode QueryGeometry(DiskGeometry& geometry) override;
  std::string Name() const override { return path_; }
  void ExpectSequentialReads() override;

  // Reads from the current position; `got` is 0 at the end of the file.
  ResultCode Read(std::span<std::uint8_t> out, std::size_t& got);
  // Writes all of `data` at the current position.
  ResultCode Write(std::span<const std::uint8_t> data);
  // Writes all of `data` at the given offset; the current position does not move.
  ResultCode WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data);
  ResultCode Seek(std::uint64_t offset);
  ResultCode Truncate(std::uint64_t length);
  // Flushes what was written to the storage device.
  ResultCode Flush();

  // The logical sector size of a block device, or 512 for a regular file.
  ResultCode QuerySectorSize(std::uint32_t& bytes);
  bool IsBlockDevice() const;

 private:
  enum class OpenMode { kReadOnly, kCreateAlways, kOpenAlways };
  static ResultCode Open(const std::string& path, OpenMode mode, FileHandle& out);

#ifdef _WIN32
  void* handle_ = nullptr;  // null when closed
  bool device_ = false;     // a disk or volume: reads go in whole sectors
  std::uint32_t sectorBytes_ = 0;
#else
  int fd_ = -1;
#endif
  std::string path_;
};

}  // namespace keldrive::platform
