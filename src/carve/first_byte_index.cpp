#include "carve/first_byte_index.h"

#include <algorithm>
#include <array>
#include <bit>

#include "carve/signature_table.h"

namespace keldrive {
namespace {

// Offsets whose byte keys the index; the anchors of the table use four.
constexpr std::size_t kMaxKeyOffsets = 4;
// One bit of a 64-bit candidate set per distinct header test.
constexpr std::size_t kMaxTests = 64;

struct FirstByteIndex {
  std::array<std::uint8_t, kMaxKeyOffsets> offsets{};
  std::size_t offsetCount = 0;
  // For each key offset and byte value: the tests an anchor there admits.
  std::array<std::array<std::uint64_t, 256>, kMaxKeyOffsets> candidates{};
  // The row each test bit stands for: the test's first row, so bits run in table order.
  std::array<std::uint8_t, kMaxTests> rowOfBit{};
  // Bytes a sector needs for every key to be looked up; shorter ones walk the table.
  std::size_t minimumLength = 0;
};

constexpr bool TestSeenBefore(std::size_t row) {
  for (std::size_t earlier = 0; earlier < row; ++earlier) {
    if (kSignatureTable[earlier].headerTest == kSignatureTable[row].headerTest) return true;
  }
  return false;
}

constexpr FirstByteIndex BuildIndex() {
  FirstByteIndex index;
  std::size_t tests = 0;
  for (std::size_t row = 0; row < kSignatureRowCount; ++row) {
    const SignatureRow& r = kSignatureTable[row];
    const bool anchored = std::any_of(r.anchors.begin(), r.anchors.end(),
                                      [](const LeadAnchor& a) { return !a.values.empty(); });
    // A test without anchors recognises nothing and is never tried.
    if (TestSeenBefore(row) || !anchored) continue;
    if (tests == kMaxTests) throw "more distinct header tests than candidate bits";
    const std::uint64_t bit = std::uint64_t{1} << tests;
    index.rowOfBit[tests++] = static_cast<std::uint8_t>(row);
    for (const LeadAnchor& anchor : r.anchors) {
      if (anchor.values.empty()) continue;
      std::size_t slot = 0;
      while (slot < index.offsetCount && index.offsets[slot] != anchor.offset) ++slot;
      if (slot == index.offsetCount) {
        if (slot == kMaxKeyOffsets) throw "more anchor offsets than the index keys";
        index.offsets[index.offsetCount++] = anchor.offset;
      }
      for (const char value : anchor.values) {
        index.candidates[slot][static_cast<std::uint8_t>(value)] |= bit;
      }
      index.minimumLength = std::max<std::size_t>(index.minimumLength, anchor.offset + 1u);
    }
  }
  return index;
}

constexpr FirstByteIndex kIndex = BuildIndex();

}  // namespace

FileTypeCode RecogniseSector(SectorProbe& probe, Bytes sector) {
  if (sector.size() < kIndex.minimumLength) return RecogniseSectorByTableWalk(probe, sector);
  ByteReader keys(sector);
  std::uint64_t candidates = 0;
  for (std::size_t k = 0; k < kIndex.offsetCount; ++k) {
    candidates |= kIndex.candidates[k][keys.u8At(kIndex.offsets[k])];
  }
  while (candidates != 0) {
    const int bit = std::countr_zero(candidates);
    candidates &= candidates - 1;
    const SignatureRow& row = kSignatureTable[kIndex.rowOfBit[static_cast<std::size_t>(bit)]];
    const FileTypeCode code = row.headerTest(probe, sector);
    if (code != FileTypeCode::kNone) return code;
  }
  return FileTypeCode::kNone;
}

FileTypeCode RecogniseSectorByTableWalk(SectorProbe& probe, Bytes sector) {
  for (std::size_t row = 0; kSignatureTable[row].code != FileTypeCode::kNone; ++row) {
    const FileTypeCode code = kSignatureTable[row].headerTest(probe, sector);
    if (code != FileTypeCode::kNone) return code;
  }
  return FileTypeCode::kNone;
}

}  // namespace keldrive
