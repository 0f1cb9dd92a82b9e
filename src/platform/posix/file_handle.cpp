#include "platform/file_handle.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace keldrive::platform {
namespace {

constexpr std::uint32_t kImageSectorSize = 512;
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

ResultCode LastError() {
  return ResultFromErrno(errno);
}

bool IsStream(mode_t mode) {
  return S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISCHR(mode);
}

}  // namespace

FileHandle::~FileHandle() {
  Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

void FileHandle::ExpectSequentialReads() {
  // Only a hint: a medium that takes none reads as before.
  if (fd_ >= 0) (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool FileHandle::IsOpen() const {
  return fd_ >= 0;
}

ResultCode FileHandle::Open(const std::string& path, OpenMode mode, FileHandle& out) {
  out.Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kReadOnly:
      flags |= O_RDONLY;
      break;
    case OpenMode::kCreateAlways:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kOpenAlways:
      flags |= O_RDWR | O_CREAT;
      break;
  }
  // A FIFO would block the open until a writer came, and neither it, a socket nor a
  // character device can be read at an offset: they are refused before they are opened,
  // and the open itself never waits.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && IsStream(info.st_mode)) return result::kBadDeviceType;
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return LastError();
  if (::fstat(fd, &info) == 0 && (S_ISDIR(info.st_mode) || IsStream(info.st_mode))) {
    ::close(fd);
    return S_ISDIR(info.st_mode) ? result::kDirectory : result::kBadDeviceType;
  }
  // Reads of files and disks wait for their data as usual.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  out.fd_ = fd;
  out.path_ = path;
  return result::kSuccess;
}

void FileHandle::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

ResultCode FileHandle::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
  got = 0;
  if (fd_ < 0) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  ssize_t n;
  do {
    n = ::pread(fd_, out.data(), out.size(), static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return LastError();
  got = static_cast<std::size_t>(n);
  return result::kSuccess;
}

ResultCode FileHandle::Read(std::span<std::uint8_t> out, std::size_t& got) {
  got = 0;
  if (fd_ < 0) return result::kInvalidHandle;
  ssize_t n;
  do {
    n = ::read(fd_, out.data(), out.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return LastError();
  got = static_cast<std::size_t>(n);
  return result::kSuccess;
}

ResultCode FileHandle::Write(std::span<const std::uint8_t> data) {
  if (fd_ < 0) return result::kInvalidHandle;
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return result::kWriteFault;
    data = data.subspan(static_cast<std::size_t>(n));
  }
  return result::kSuccess;
}

ResultCode FileHandle::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
  if (fd_ < 0) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX) - data.size()) {
    return result::kInvalidParameter;
  }
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return result::kWriteFault;
    data = data.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return result::kSuccess;
}

ResultCode FileHandle::Seek(std::uint64_t offset) {
  if (fd_ < 0) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return LastError();
  return result::kSuccess;
}

ResultCode FileHandle::Truncate(std::uint64_t length) {
  if (fd_ < 0) return result::kInvalidHandle;
  if (length > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) return LastError();
  return result::kSuccess;
}

ResultCode FileHandle::Flush() {
  if (fd_ < 0) return result::kInvalidHandle;
  if (::fsync(fd_) != 0) return LastError();
  return result::kSuccess;
}

bool FileHandle::IsBlockDevice() const {
  struct stat info {};
  return fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISBLK(info.st_mode);
}

ResultCode FileHandle::QuerySize(std::uint64_t& bytes) {
  if (fd_ < 0) return result::kInvalidHandle;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return LastError();
  if (S_ISBLK(info.st_mode)) {
    std::uint64_t length = 0;
    if (::ioctl(fd_, BLKGETSIZE64, &length) != 0) return LastError();
    bytes = length;
    return result::kSuccess;
  }
  bytes = static_cast<std::uint64_t>(info.st_size);
  return result::kSuccess;
}

ResultCode FileHandle::QuerySectorSize(std::uint32_t& bytes) {
  if (fd_ < 0) return result::kInvalidHandle;
  if (!IsBlockDevice()) {
    bytes = kImageSectorSize;
    return result::kSuccess;
  }
  int size = 0;
  if (::ioctl(fd_, BLKSSZGET, &size) != 0) return LastError();
  bytes = size > 0 ? static_cast<std::uint32_t>(size) : kImageSectorSize;
  return result::kSuccess;
}

ResultCode FileHandle::QueryGeometry(DiskGeometry& geometry) {
  std::uint32_t sectorSize = 0;
  if (const ResultCode rc = QuerySectorSize(sectorSize); rc != result::kSuccess) return rc;
  std::uint64_t length = 0;
  if (const ResultCode rc = QuerySize(length); rc != result::kSuccess) return rc;
  geometry.bytesPerSector = sectorSize;
  geometry.tracksPerCylinder = kHeads;
  geometry.sectorsPerTrack = kSectorsPerTrack;
  geometry.cylinders = length / sectorSize / (kHeads * kSectorsPerTrack);
  geometry.mediaType = kMediaFixed;
  return result::kSuccess;
}

}  // namespace keldrive::platform
