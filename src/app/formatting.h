#pragma once

#include <cstdint>
#include <string>

namespace keldrive {

// A byte count as the user sees it: "1.50 KB", "1024.00 MB", "1023 Bytes".
std::string FormatSize(std::int64_t bytes);

}  // namespace keldrive
