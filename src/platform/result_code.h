#pragma once

#include <cstdint>
#include <string>

namespace keldrive {

// Every operation of the core reports one of these codes. They are the Win32 error
// numbers, so that a Windows build passes the platform's own codes through unchanged and
// messages, logs and tests read the same on every system.
using ResultCode = std::int32_t;

namespace result {
inline constexpr ResultCode kSuccess = 0;
inline constexpr ResultCode kInvalidFunction = 1;
inline constexpr ResultCode kFileNotFound = 2;
inline constexpr ResultCode kPathNotFound = 3;
inline constexpr ResultCode kTooManyOpenFiles = 4;
inline constexpr ResultCode kAccessDenied = 5;
inline constexpr ResultCode kInvalidHandle = 6;
inline constexpr ResultCode kNotEnoughMemory = 8;
inline constexpr ResultCode kInvalidData = 13;
inline constexpr ResultCode kWriteProtect = 19;
inline constexpr ResultCode kNotReady = 21;
// Sectors of the medium could not be read: what the platform reports for a bad sector.
inline constexpr ResultCode kDataError = 23;
inline constexpr ResultCode kWriteFault = 29;
inline constexpr ResultCode kReadFault = 30;
inline constexpr ResultCode kSharingViolation = 32;
inline constexpr ResultCode kHandleEof = 38;
inline constexpr ResultCode kNotSupported = 50;
// A FIFO, a socket or a character device given where a disk or an image is wanted.
inline constexpr ResultCode kBadDeviceType = 66;
inline constexpr ResultCode kFileExists = 80;
inline constexpr ResultCode kInvalidParameter = 87;
inline constexpr ResultCode kDiskFull = 112;
inline constexpr ResultCode kInsufficientBuffer = 122;
inline constexpr ResultCode kInvalidName = 123;
inline constexpr ResultCode kDirNotEmpty = 145;
inline constexpr ResultCode kBusy = 170;
inline constexpr ResultCode kAlreadyExists = 183;
inline constexpr ResultCode kFilenameTooLong = 206;
inline constexpr ResultCode kMoreData = 234;
inline constexpr ResultCode kDirectory = 267;
inline constexpr ResultCode kIoDevice = 1117;
// The user stopped the operation; passed up unchanged by every layer.
inline constexpr ResultCode kCancelled = -9527;
}  // namespace result

// Maps a POSIX errno value to the nearest result code; unknown values give kIoDevice.
ResultCode ResultFromErrno(int errnoValue);

// A short English description of a code ("access denied"), for logs and the command line.
// The GUI shows its own texts from the language tables instead.
std::string DescribeResult(ResultCode code);

}  // namespace keldrive
