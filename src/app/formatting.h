#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/file_time.h"

namespace keldrive {

// A byte count as the user sees it: "1.50 KB", "1024.00 MB", "1023 Bytes".
std::string FormatSize(std::int64_t bytes);

// A remaining time: "1 Hour 2 Min", "59 Min 59 Sec", "59 Sec".
std::string FormatDuration(std::int64_t seconds);

// A file time as stored, without time-zone adjustment: "2019-3-7 09:05:00".
std::string FormatFileTime(FileTime time);

// Bytes shown as text, one character per byte (its value as a Latin-1 character, written
// in UTF-8), a zero byte shown as "."; a line break after every 1024th byte.
std::string BytesToText(std::span<const std::uint8_t> bytes);

}  // namespace keldrive
