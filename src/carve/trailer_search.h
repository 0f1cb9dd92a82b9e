#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "carve/boundaries.h"

namespace keldrive {

// Helpers for the size rules that end a file at a trailer found in its bytes. Positions
// are window positions; ScannedChunk::FileOffset turns them into file offsets.

// Whether a trailer ending at `end` is "padded": it ends on a sector boundary of the file,
// or every byte from it to the end of its sector is zero.
bool IsPadded(Bytes window, std::size_t end, std::uint64_t windowOffset, std::int32_t sectorSize);

// The first window position where an occurrence of a pattern of `length` bytes would reach
// into the chunk: occurrences wholly inside the lead were seen with the previous chunk.
std::size_t FirstNewPosition(const ScannedChunk& chunk, std::size_t length);

// The first occurrence at or after `from` whose end is padded.
std::optional<std::size_t> FindFirstPadded(Bytes window, std::string_view pattern, std::size_t from,
                                           std::uint64_t windowOffset, std::int32_t sectorSize);

// For rules that take the last trailer of a chunk: the last new occurrence before the
// chunk's boundary sector; when none lies before it, the first one after it. A trailer
// beyond the boundary is taken only when the file shows none before it, so that a file
// directly followed by another of its kind is not stretched over both.
std::optional<std::size_t> FindLastWithinFile(const ScannedChunk& chunk, std::string_view pattern);

}  // namespace keldrive
