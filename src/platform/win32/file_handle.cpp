#include "platform/file_handle.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

using win32::LastResult;

constexpr std::uint32_t kImageSectorSize = 512;
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;
// One ReadFile or WriteFile moves at most this much; callers take short reads.
constexpr std::size_t kMaxTransfer = 1u << 30;

HANDLE Native(void* handle) {
  return static_cast<HANDLE>(handle);
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// A synchronous handle moves its file pointer even on reads and writes at an offset; the
// offset calls must leave it where it was, as pread and pwrite do.
class KeepPosition {
 public:
  explicit KeepPosition(HANDLE handle) : handle_(handle) {
    kept_ = SetFilePointerEx(handle_, LARGE_INTEGER{}, &position_, FILE_CURRENT) != 0;
  }
  ~KeepPosition() {
    if (kept_) SetFilePointerEx(handle_, position_, nullptr, FILE_BEGIN);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;

 private:
  HANDLE handle_;
  LARGE_INTEGER position_{};
  bool kept_ = false;
};

ResultCode ReadRaw(HANDLE handle, std::uint64_t offset, std::uint8_t* out, std::size_t size,
                   std::size_t& got) {
  got = 0;
  OVERLAPPED position = At(offset);
  DWORD read = 0;
  const auto request = static_cast<DWORD>(std::min(size, kMaxTransfer));
  if (ReadFile(handle, out, request, &read, &position) == 0) {
    const DWORD error = GetLastError();
    // At or past the end: no bytes, not an error, as on POSIX.
    if (error == ERROR_HANDLE_EOF) return result::kSuccess;
    return static_cast<ResultCode>(error);
  }
  got = read;
  return result::kSuccess;
}

}  // namespace

FileHandle::~FileHandle() {
  Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      device_(other.device_),
      sectorBytes_(other.sectorBytes_),
      path_(std::move(other.path_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    device_ = other.device_;
    sectorBytes_ = other.sectorBytes_;
    path_ = std::move(other.path_);
  }
  return *this;
}

void FileHandle::ExpectSequentialReads() {
  // FILE_FLAG_SEQUENTIAL_SCAN can only be given at open; Windows reads ahead regardless.
}

bool FileHandle::IsOpen() const {
  return handle_ != nullptr;
}

ResultCode FileHandle::Open(const std::string& path, OpenMode mode, FileHandle& out) {
  out.Close();
  const bool device = win32::IsDevicePath(path);
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode != OpenMode::kReadOnly) {
    if (device) return result::kAccessDenied;  // the core never writes to a medium
    access |= GENERIC_WRITE;
    disposition = mode == OpenMode::kCreateAlways ? CREATE_ALWAYS : OPEN_ALWAYS;
  }
  // Others may go on reading and writing a disk or an image while we read it; output files
  // may be read by others and be replaced (FILE_SHARE_DELETE) by the atomic rename.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (device ? 0 : FILE_SHARE_DELETE);
  const std::wstring wide = win32::WidePath(path);
  if (!device) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return result::kDirectory;
    }
  }
  HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastResult();
  if (!device) {
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) {
      CloseHandle(handle);
      return result::kBadDeviceType;
    }
  }
  out.handle_ = handle;
  out.device_ = device;
  out.sectorBytes_ = 0;
  out.path_ = path;
  return result::kSuccess;
}

void FileHandle::Close() {
  if (handle_ != nullptr) {
    CloseHandle(Native(handle_));
    handle_ = nullptr;
  }
}

ResultCode FileHandle::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
  got = 0;
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  if (out.empty()) return result::kSuccess;
  KeepPosition keep(Native(handle_));
  if (!device_) return ReadRaw(Native(handle_), offset, out.data(), out.size(), got);

  // Disks and volumes read whole sectors at sector offsets only: read the sectors around
  // the request and hand out the part asked for.
  std::uint32_t sector = 0;
  if (const ResultCode rc = QuerySectorSize(sector); rc != result::kSuccess) return rc;
  const std::uint64_t start = offset / sector * sector;
  const std::size_t wanted = std::min(out.size(), kMaxTransfer);
  const std::uint64_t end = (offset + wanted + sector - 1) / sector * sector;
  if (start == offset && end == offset + wanted) {
    return ReadRaw(Native(handle_), offset, out.data(), wanted, got);
  }
  std::vector<std::uint8_t> sectors(static_cast<std::size_t>(end - start));
  std::size_t read = 0;
  if (const ResultCode rc = ReadRaw(Native(handle_), start, sectors.data(), sectors.size(), read);
      rc != result::kSuccess) {
    return rc;
  }
  const auto skip = static_cast<std::size_t>(offset - start);
  if (read <= skip) return result::kSuccess;
  got = std::min(wanted, read - skip);
  std::copy_n(sectors.begin() + static_cast<std::ptrdiff_t>(skip), got, out.begin());
  return result::kSuccess;
}

ResultCode FileHandle::Read(std::span<std::uint8_t> out, std::size_t& got) {
  got = 0;
  if (handle_ == nullptr) return result::kInvalidHandle;
  DWORD read = 0;
  const auto request = static_cast<DWORD>(std::min(out.size(), kMaxTransfer));
  if (ReadFile(Native(handle_), out.data(), request, &read, nullptr) == 0) {
    if (GetLastError() == ERROR_HANDLE_EOF) return result::kSuccess;
    return LastResult();
  }
  got = read;
  return result::kSuccess;
}

ResultCode FileHandle::Write(std::span<const std::uint8_t> data) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  while (!data.empty()) {
    DWORD written = 0;
    const auto request = static_cast<DWORD>(std::min(data.size(), kMaxTransfer));
    if (WriteFile(Native(handle_), data.data(), request, &written, nullptr) == 0) {
      return LastResult();
    }
    if (written == 0) return result::kWriteFault;
    data = data.subspan(written);
  }
  return result::kSuccess;
}

ResultCode FileHandle::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX) - data.size()) {
    return result::kInvalidParameter;
  }
  KeepPosition keep(Native(handle_));
  while (!data.empty()) {
    OVERLAPPED position = At(offset);
    DWORD written = 0;
    const auto request = static_cast<DWORD>(std::min(data.size(), kMaxTransfer));
    if (WriteFile(Native(handle_), data.data(), request, &written, &position) == 0) {
      return LastResult();
    }
    if (written == 0) return result::kWriteFault;
    data = data.subspan(written);
    offset += written;
  }
  return result::kSuccess;
}

ResultCode FileHandle::Seek(std::uint64_t offset) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (SetFilePointerEx(Native(handle_), to, nullptr, FILE_BEGIN) == 0) return LastResult();
  return result::kSuccess;
}

ResultCode FileHandle::Truncate(std::uint64_t length) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (length > static_cast<std::uint64_t>(INT64_MAX)) return result::kInvalidParameter;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (SetFileInformationByHandle(Native(handle_), FileEndOfFileInfo, &end, sizeof end) == 0) {
    return LastResult();
  }
  return result::kSuccess;
}

ResultCode FileHandle::Flush() {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (FlushFileBuffers(Native(handle_)) == 0) return LastResult();
  return result::kSuccess;
}

bool FileHandle::IsBlockDevice() const {
  return handle_ != nullptr && device_;
}

ResultCode FileHandle::QuerySize(std::uint64_t& bytes) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (device_) {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(Native(handle_), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                        sizeof length, &returned, nullptr) == 0) {
      return LastResult();
    }
    bytes = static_cast<std::uint64_t>(length.Length.QuadPart);
    return result::kSuccess;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(Native(handle_), &size) == 0) return LastResult();
  bytes = static_cast<std::uint64_t>(size.QuadPart);
  return result::kSuccess;
}

ResultCode FileHandle::QuerySectorSize(std::uint32_t& bytes) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (!device_) {
    bytes = kImageSectorSize;
    return result::kSuccess;
  }
  if (sectorBytes_ == 0) {
    DiskGeometry geometry;
    if (const ResultCode rc = QueryGeometry(geometry); rc != result::kSuccess) return rc;
  }
  bytes = sectorBytes_;
  return result::kSuccess;
}

ResultCode FileHandle::QueryGeometry(DiskGeometry& geometry) {
  if (handle_ == nullptr) return result::kInvalidHandle;
  if (device_) {
    DISK_GEOMETRY_EX disk{};
    DWORD returned = 0;
    if (DeviceIoControl(Native(handle_), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &disk,
                        sizeof disk, &returned, nullptr) == 0) {
      return LastResult();
    }
    geometry.cylinders = static_cast<std::uint64_t>(disk.Geometry.Cylinders.QuadPart);
    geometry.mediaType = disk.Geometry.MediaType == RemovableMedia ? kMediaRemovable : kMediaFixed;
    geometry.tracksPerCylinder = disk.Geometry.TracksPerCylinder;
    geometry.sectorsPerTrack = disk.Geometry.SectorsPerTrack;
    geometry.bytesPerSector = disk.Geometry.BytesPerSector;
    sectorBytes_ = geometry.bytesPerSector != 0 ? geometry.bytesPerSector : kImageSectorSize;
    return result::kSuccess;
  }
  std::uint64_t length = 0;
  if (const ResultCode rc = QuerySize(length); rc != result::kSuccess) return rc;
  geometry.bytesPerSector = kImageSectorSize;
  geometry.tracksPerCylinder = kHeads;
  geometry.sectorsPerTrack = kSectorsPerTrack;
  geometry.cylinders = length / kImageSectorSize / (kHeads * kSectorsPerTrack);
  geometry.mediaType = kMediaFixed;
  return result::kSuccess;
}

}  // namespace keldrive::platform
