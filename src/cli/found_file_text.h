#pragma once

#include <cstdint>
#include <string>

#include "cli/json_output.h"
#include "engine/found_file.h"
#include "session/scan_area.h"

namespace keldrive::cli {

// The fields of a found file as the browsing commands show them.
std::string ModifiedText(const FoundFile& file);
// The size as shown; a size beyond `areaBytes`, the whole area scanned, comes from a
// damaged record and is shown as such rather than as a number.
std::string SizeText(const FoundFile& file, std::uint64_t areaBytes);
// The bytes of a scanned area: no file found in it can be larger.
std::uint64_t AreaBytes(const ScanArea& area);
Json FoundFileJson(const FoundFile& file, const std::string& path);

}  // namespace keldrive::cli
