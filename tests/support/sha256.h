#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace keldrive::testing {

// The SHA-256 of some bytes as 64 lower-case hex digits, to compare recovered files with
// the ground truth of a fixture.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace keldrive::testing
