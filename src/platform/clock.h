#pragma once

#include <cstdint>

namespace keldrive::platform {

// Milliseconds from an arbitrary start; never goes backwards. For durations and rates.
std::uint64_t MonotonicMilliseconds();

}  // namespace keldrive::platform
