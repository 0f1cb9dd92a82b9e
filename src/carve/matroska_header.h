#pragma once

#include <cstdint>
#include <optional>

#include "carve/byte_patterns.h"

namespace keldrive {

// What the start of a Matroska (or WebM) file tells: an EBML header whose elements all
// parse and whose document type is "matroska" or "webm", followed by the Segment.
struct MatroskaHeader {
  // Bytes of the whole file when the Segment states its size (a recorder that could not
  // seek back leaves it unknown).
  std::optional<std::uint64_t> fileBytes;
};

// Nothing when the bytes do not begin a Matroska file: four magic bytes alone are no
// proof, and a false header would otherwise make the file run over everything after it.
std::optional<MatroskaHeader> ParseMatroskaHeader(Bytes bytes);

}  // namespace keldrive
