#pragma once

#include <cstdint>

#include "carve/boundaries.h"
#include "carve/byte_patterns.h"
#include "carve/carve_context.h"

namespace keldrive {

// Size rules: how many bytes the file recognised at the hit sector occupies, from the
// header sector and, where the rule needs them, the sectors after it. Every rule keeps
// within its limit plus one sector and ends early, with the size reached so far, on a read
// error or a non-zero answer of the progress callback.

inline constexpr std::uint64_t kMiB = 1024 * 1024;
inline constexpr std::uint64_t kGiB = 1024 * kMiB;

// Types without a trailer of their own: the file ends at the next boundary or the limit.
template <std::uint64_t kLimit>
std::uint64_t SizeUntilBoundary(CarveContext& context, Bytes sector) {
  return ExtendUntilBoundary(context, sector, kLimit);
}

// Pictures and fonts (size_rules_image.cpp).
std::uint64_t SizeJpeg(CarveContext& context, Bytes sector);
std::uint64_t SizeGif(CarveContext& context, Bytes sector);
std::uint64_t SizePng(CarveContext& context, Bytes sector);
std::uint64_t SizeBmp(CarveContext& context, Bytes sector);
std::uint64_t SizeIco(CarveContext& context, Bytes sector);
std::uint64_t SizeTrueType(CarveContext& context, Bytes sector);
std::uint64_t SizeTiff(CarveContext& context, Bytes sector);
std::uint64_t SizePsd(CarveContext& context, Bytes sector);

// Audio and video (size_rules_media.cpp, transport_stream.cpp).
std::uint64_t SizeRiff(CarveContext& context, Bytes sector);
std::uint64_t SizeSwf(CarveContext& context, Bytes sector);
std::uint64_t SizeAsf(CarveContext& context, Bytes sector);
std::uint64_t SizeMpeg(CarveContext& context, Bytes sector);
std::uint64_t SizeMp4(CarveContext& context, Bytes sector);
std::uint64_t SizeQuickTime(CarveContext& context, Bytes sector);  // mov, 3gp
std::uint64_t SizeFlv(CarveContext& context, Bytes sector);
std::uint64_t SizeMxf(CarveContext& context, Bytes sector);
std::uint64_t SizeRealMedia(CarveContext& context, Bytes sector);
std::uint64_t SizeMp3(CarveContext& context, Bytes sector);
std::uint64_t SizeApe(CarveContext& context, Bytes sector);
std::uint64_t SizeMidi(CarveContext& context, Bytes sector);
std::uint64_t SizeTransportStream(CarveContext& context, Bytes sector);
std::uint64_t SizeMatroska(CarveContext& context, Bytes sector);

// Documents and archives (size_rules_document.cpp, compound_document.cpp).
std::uint64_t SizePdf(CarveContext& context, Bytes sector);
std::uint64_t SizeZip(CarveContext& context, Bytes sector);
std::uint64_t SizePackage(CarveContext& context, Bytes sector);
std::uint64_t Size7z(CarveContext& context, Bytes sector);
std::uint64_t SizeRar(CarveContext& context, Bytes sector);
std::uint64_t SizeCab(CarveContext& context, Bytes sector);
std::uint64_t SizeCompoundDocument(CarveContext& context, Bytes sector);
std::uint64_t SizeGzip(CarveContext& context, Bytes sector);
std::uint64_t SizeSqlite(CarveContext& context, Bytes sector);

// The compound document's size from its allocation table, 0 when the table cannot tell
// (the caller then scans for the end instead).
std::uint64_t CompoundDocumentSizeFromAllocationTable(CarveContext& context, Bytes header);

}  // namespace keldrive
