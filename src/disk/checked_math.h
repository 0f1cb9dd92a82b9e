#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

namespace keldrive {

// Arithmetic on sector numbers, byte offsets and sizes that come from a medium. Each
// helper returns false (or nullopt) instead of wrapping, so a crafted value can never turn
// into a small offset or a huge allocation.

template <typename T>
requires std::is_unsigned_v<T>
[[nodiscard]] constexpr bool CheckedAdd(T a, T b, T& out) {
  return !__builtin_add_overflow(a, b, &out);
}

template <typename T>
requires std::is_unsigned_v<T>
[[nodiscard]] constexpr bool CheckedMul(T a, T b, T& out) {
  return !__builtin_mul_overflow(a, b, &out);
}

[[nodiscard]] constexpr std::optional<std::uint64_t> CheckedAdd64(std::uint64_t a,
                                                                  std::uint64_t b) {
  std::uint64_t out = 0;
  if (!CheckedAdd(a, b, out)) return std::nullopt;
  return out;
}

[[nodiscard]] constexpr std::optional<std::uint64_t> CheckedMul64(std::uint64_t a,
                                                                  std::uint64_t b) {
  std::uint64_t out = 0;
  if (!CheckedMul(a, b, out)) return std::nullopt;
  return out;
}

}  // namespace keldrive
