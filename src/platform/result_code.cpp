#include "platform/result_code.h"

#include <array>
#include <utility>

namespace keldrive {

std::string DescribeResult(ResultCode code) {
  static constexpr std::array<std::pair<ResultCode, const char*>, 31> kTexts{{
      {result::kSuccess, "success"},
      {result::kInvalidFunction, "operation not supported by this device"},
      {result::kFileNotFound, "no such file"},
      {result::kPathNotFound, "no such folder"},
      {result::kTooManyOpenFiles, "too many open files"},
      {result::kAccessDenied, "access denied"},
      {result::kInvalidHandle, "the medium is not open"},
      {result::kNotEnoughMemory, "not enough memory"},
      {result::kInvalidData, "the data is damaged or not in the expected form"},
      {result::kWriteProtect, "the medium is write-protected"},
      {result::kNotReady, "the device is not ready"},
      {result::kDataError, "sectors of the medium could not be read"},
      {result::kWriteFault, "write failed"},
      {result::kReadFault, "read failed"},
      {result::kSharingViolation, "the file is in use"},
      {result::kHandleEof, "end of file reached"},
      {result::kNotSupported, "not supported"},
      {result::kBadDeviceType,
       "not a disk, a partition or an image file (a pipe, socket or character device cannot be "
       "scanned)"},
      {result::kFileExists, "the file exists"},
      {result::kInvalidParameter, "invalid parameter or range beyond the medium"},
      {result::kDiskFull, "not enough space on the disk"},
      {result::kInsufficientBuffer, "buffer too small"},
      {result::kInvalidName, "invalid file name"},
      {result::kDirNotEmpty, "the folder is not empty"},
      {result::kBusy, "the device is busy"},
      {result::kAlreadyExists, "already exists"},
      {result::kFilenameTooLong, "file name too long"},
      {result::kMoreData, "more data is available"},
      {result::kDirectory, "is a folder"},
      {result::kIoDevice, "input/output error"},
      {result::kCancelled, "cancelled by the user"},
  }};
  for (const auto& [known, text] : kTexts) {
    if (known == code) return text;
  }
  return "error " + std::to_string(code);
}

}  // namespace keldrive
