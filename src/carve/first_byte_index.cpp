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

// The offsets whose byte keys the index, in order of first use; known at compile time so
// that the look-ups compile to fixed loads.
struct KeyOffsets {
  std::array<std::uint8_t, kMaxKeyOffsets> offsets{};
  std::size_t count = 0;
  bool complete = true;           // false: the anchors use more offsets than the index keys
  std::size_t minimumLength = 0;  // bytes a sector needs for every key to be looked up
};

constexpr KeyOffsets CollectKeyOffsets() {
  KeyOffsets keys;
  for (std::size_t row = 0; row < kSignatureRowCount; ++row) {
    for (const LeadAnchor& anchor : kSignatureTable[row].anchors) {
      if (anchor.values.empty()) continue;
      std::size_t slot = 0;
      while (slot < keys.count && keys.offsets[slot] != anchor.offset) ++slot;
      if (slot == keys.count) {
        if (slot == kMaxKeyOffsets) {
          keys.complete = false;
          continue;
        }
        keys.offsets[keys.count++] = anchor.offset;
      }
      keys.minimumLength = std::max<std::size_t>(keys.minimumLength, anchor.offset + 1u);
    }
  }
  return keys;
}

constexpr KeyOffsets kKeys = CollectKeyOffsets();
static_assert(kKeys.complete,
              "the signature table's anchors use more byte offsets than the first-byte index "
              "keys: raise kMaxKeyOffsets");

// Rows of one code share their header test, so there are no more distinct tests than
// codes among the anchored rows (the signature table tests check the sharing). Telling
// tests apart directly would compare function addresses, which the compiler does not do
// at compile time under the sanitizers.
constexpr std::size_t CountAnchoredCodes() {
  std::array<bool, kFileTypeCodeCount> seen{};
  std::size_t codes = 0;
  for (std::size_t row = 0; row < kSignatureRowCount; ++row) {
    const SignatureRow& r = kSignatureTable[row];
    const bool anchored = std::any_of(r.anchors.begin(), r.anchors.end(),
                                      [](const LeadAnchor& a) { return !a.values.empty(); });
    const auto code = static_cast<std::size_t>(r.code);
    if (anchored && !seen[code]) {
      seen[code] = true;
      ++codes;
    }
  }
  return codes;
}
static_assert(CountAnchoredCodes() <= kMaxTests,
              "the signature table has more header tests than the first-byte index has "
              "candidate bits: widen the candidate sets");

constexpr std::size_t KeySlot(std::uint8_t offset) {
  std::size_t slot = 0;
  while (slot < kKeys.count && kKeys.offsets[slot] != offset) ++slot;
  return slot;
}

struct FirstByteIndex {
  // For each key offset and byte value: the tests an anchor there admits.
  std::array<std::array<std::uint64_t, 256>, kMaxKeyOffsets> candidates{};
  // The row each test bit stands for: the test's first row, so bits run in table order.
  std::array<std::uint8_t, kMaxTests> rowOfBit{};
};

constexpr bool TestSeenBefore(std::size_t row) {
  for (std::size_t earlier = 0; earlier < row; ++earlier) {
    if (kSignatureTable[earlier].headerTest == kSignatureTable[row].headerTest) return true;
  }
  return false;
}

FirstByteIndex BuildIndex() {
  FirstByteIndex index;
  std::size_t tests = 0;
  for (std::size_t row = 0; row < kSignatureRowCount; ++row) {
    const SignatureRow& r = kSignatureTable[row];
    const bool anchored = std::any_of(r.anchors.begin(), r.anchors.end(),
                                      [](const LeadAnchor& a) { return !a.values.empty(); });
    // A test without anchors recognises nothing and is never tried.
    if (TestSeenBefore(row) || !anchored) continue;
    if (tests == kMaxTests) break;  // ruled out at compile time, above
    const std::uint64_t bit = std::uint64_t{1} << tests;
    index.rowOfBit[tests++] = static_cast<std::uint8_t>(row);
    for (const LeadAnchor& anchor : r.anchors) {
      const std::size_t slot = KeySlot(anchor.offset);
      if (anchor.values.empty() || slot == kKeys.count) continue;
      for (const char value : anchor.values) {
        index.candidates[slot][static_cast<std::uint8_t>(value)] |= bit;
      }
    }
  }
  return index;
}

// Built when the program starts (telling tests apart compares function addresses, which
// the compiler does not do at compile time under the sanitizers); never changed after.
const FirstByteIndex kIndex = BuildIndex();

}  // namespace

FileTypeCode RecogniseSector(SectorProbe& probe, Bytes sector) {
  if (sector.size() < kKeys.minimumLength) {
    return RecogniseSectorByTableWalk(probe, sector);
  }
  ByteReader keys(sector);
  std::uint64_t candidates = 0;
  for (std::size_t k = 0; k < kKeys.count; ++k) {
    candidates |= kIndex.candidates[k][keys.u8At(kKeys.offsets[k])];
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
