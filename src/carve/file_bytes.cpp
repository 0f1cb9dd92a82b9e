#include "carve/file_bytes.h"

#include <algorithm>

#include "carve/boundaries.h"
#include "disk/checked_math.h"

namespace keldrive {

FileBytes::FileBytes(CarveContext& context, std::uint64_t limit)
    : context_(context), limit_(limit) {}

bool FileBytes::Load(std::uint64_t offset) {
  if (offset >= limit_) return false;
  if (offset >= chunkOffset_ && offset - chunkOffset_ < chunk_.size()) return true;
  const auto sectorBytes = static_cast<std::uint64_t>(context_.probe.sectorSize);
  if (sectorBytes == 0) return false;
  const auto start = CheckedAdd64(context_.probe.hitSector, offset / sectorBytes);
  if (!start) return false;
  chunk_ = ReadSizingSectors(context_, *start, kCarveChunkBytes / sectorBytes);
  chunkOffset_ = offset / sectorBytes * sectorBytes;
  if (offset - chunkOffset_ >= chunk_.size()) {
    chunk_ = {};
    return false;
  }
  return true;
}

std::optional<std::uint8_t> FileBytes::At(std::uint64_t offset) {
  if (!Load(offset)) return std::nullopt;
  return chunk_[static_cast<std::size_t>(offset - chunkOffset_)];
}

Bytes FileBytes::From(std::uint64_t offset) {
  if (!Load(offset)) return {};
  const Bytes rest = chunk_.subspan(static_cast<std::size_t>(offset - chunkOffset_));
  return rest.first(
      static_cast<std::size_t>(std::min<std::uint64_t>(rest.size(), limit_ - offset)));
}

namespace {

// Gathers `count` bytes from `offset` on, each through At, so that a field cut by a chunk
// boundary still reads whole. Big-endian when `big`.
std::optional<std::uint64_t> Gather(FileBytes& bytes, std::uint64_t offset, int count, bool big) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) {
    const auto byte = bytes.At(offset + static_cast<std::uint64_t>(i));
    if (!byte) return std::nullopt;
    if (big) {
      value = (value << 8) | *byte;
    } else {
      value |= std::uint64_t{*byte} << (8 * i);
    }
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> FileBytes::Be32(std::uint64_t offset) {
  const auto value = Gather(*this, offset, 4, true);
  return value ? std::optional(static_cast<std::uint32_t>(*value)) : std::nullopt;
}
std::optional<std::uint32_t> FileBytes::Le32(std::uint64_t offset) {
  const auto value = Gather(*this, offset, 4, false);
  return value ? std::optional(static_cast<std::uint32_t>(*value)) : std::nullopt;
}
std::optional<std::uint16_t> FileBytes::Be16(std::uint64_t offset) {
  const auto value = Gather(*this, offset, 2, true);
  return value ? std::optional(static_cast<std::uint16_t>(*value)) : std::nullopt;
}
std::optional<std::uint16_t> FileBytes::Le16(std::uint64_t offset) {
  const auto value = Gather(*this, offset, 2, false);
  return value ? std::optional(static_cast<std::uint16_t>(*value)) : std::nullopt;
}
std::optional<std::uint64_t> FileBytes::Be64(std::uint64_t offset) {
  return Gather(*this, offset, 8, true);
}

}  // namespace keldrive
