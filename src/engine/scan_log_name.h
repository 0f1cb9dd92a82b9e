#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace keldrive {

// Name prefixes of the engines' logs; an earlier scan's logs are found by them.
inline constexpr std::string_view kQuickLogPrefix = "Fast_";
inline constexpr std::string_view kProfessionalFatLogPrefix = "Pro_Fat_";
inline constexpr std::string_view kProfessionalNtfsLogPrefix = "Pro_Ntfs_";
inline constexpr std::string_view kFileTypeLogPrefix = "File_Type_";

// prefix + first sector + "_" + year month day hour (unpadded) + the minute right-aligned in
// two places: a volume at sector 2048 scanned at 9:05 on 3 March 2024 gives
// "Fast_2048_2024339 5".
std::string MakeScanLogName(std::string_view prefix, std::int64_t firstSector,
                            const platform::LocalTime& time);

}  // namespace keldrive
