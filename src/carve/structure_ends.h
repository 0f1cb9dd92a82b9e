#pragma once

#include <cstdint>
#include <optional>

#include "carve/carve_context.h"

namespace keldrive {

// Where a file ends by its own structure: following the lengths its format records,
// block by block, from the hit sector on. Each answers none when the structure breaks
// before an end (a damaged or overwritten file), so that the caller falls back on
// searching for a trailer or the next file. Nothing at or past `limit` bytes is read, and
// each step moves forward, so every walk ends.

// GIF: header, colour tables, then extension and image blocks up to the 0x3B trailer.
std::optional<std::uint64_t> GifEnd(CarveContext& context, std::uint64_t limit);
// PNG: chunks by their lengths up to and including IEND.
std::optional<std::uint64_t> PngEnd(CarveContext& context, std::uint64_t limit);
// JPEG: the offset of the first start-of-scan marker, after the segments before it (an
// Exif thumbnail among them). The first end marker from there on ends the picture, since
// coded data never holds one.
std::optional<std::uint64_t> JpegScanStart(CarveContext& context, std::uint64_t limit);
// MP4, QuickTime and 3GPP: top-level boxes by their sizes; the file ends before the first
// box that is not one, once a movie box has been seen.
std::optional<std::uint64_t> IsoMediaEnd(CarveContext& context, std::uint64_t limit);
// Flash video: tags by their sizes, each confirmed by the size stored after it.
std::optional<std::uint64_t> FlvEnd(CarveContext& context, std::uint64_t limit);
// MPEG program stream: packs, system headers and packets by their lengths, up to the
// program end code or the first bytes that are none of these.
std::optional<std::uint64_t> MpegProgramEnd(CarveContext& context, std::uint64_t limit);
// gzip: the end of the first member, found by inflating it.
std::optional<std::uint64_t> GzipEnd(CarveContext& context, std::uint64_t limit);
// TIFF: the furthest byte any directory, tag value, strip or tile of the chain of image
// directories reaches.
std::optional<std::uint64_t> TiffEnd(CarveContext& context, std::uint64_t limit);
// Photoshop: the sections by their lengths, then the image data by its compression.
std::optional<std::uint64_t> PsdEnd(CarveContext& context, std::uint64_t limit);
// MXF: key-length-value packets by their lengths, up to the first that is not one or that
// opens another file's header partition.
std::optional<std::uint64_t> MxfEnd(CarveContext& context, std::uint64_t limit);
// SQLite: page size times the page count the header keeps, when the header vouches for it.
std::optional<std::uint64_t> SqliteEnd(CarveContext& context, std::uint64_t limit);

}  // namespace keldrive
