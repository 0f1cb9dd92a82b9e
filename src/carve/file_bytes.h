#pragma once

#include <cstdint>
#include <optional>

#include "carve/byte_patterns.h"
#include "carve/carve_context.h"

namespace keldrive {

// The bytes of the candidate file at any offset from its first byte, for size rules that
// follow a format's own structure (segment, chunk and box lengths) instead of searching
// for a trailer. Reads whole chunks through ReadSizingSectors (so the walk's window is
// used where it holds them) and keeps the last one. Nothing at or past `limit` is read.
class FileBytes {
 public:
  FileBytes(CarveContext& context, std::uint64_t limit);

  // The byte at `offset`, or none past the limit, the medium's end or a read error.
  std::optional<std::uint8_t> At(std::uint64_t offset);
  std::optional<std::uint32_t> Be32(std::uint64_t offset);
  std::optional<std::uint32_t> Le32(std::uint64_t offset);
  std::optional<std::uint16_t> Be16(std::uint64_t offset);
  std::optional<std::uint16_t> Le16(std::uint64_t offset);
  std::optional<std::uint64_t> Be64(std::uint64_t offset);

  // The bytes from `offset` on that the current chunk holds (at least one unless empty).
  Bytes From(std::uint64_t offset);

  std::uint64_t Limit() const { return limit_; }

 private:
  bool Load(std::uint64_t offset);

  CarveContext& context_;
  std::uint64_t limit_;
  std::uint64_t chunkOffset_ = 0;
  Bytes chunk_;
};

}  // namespace keldrive
