#include "carve/header_tests.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr FileTypeCode kNone = FileTypeCode::kNone;

FileTypeCode When(bool holds, FileTypeCode code) {
  return holds ? code : kNone;
}

bool IsDigit(std::uint8_t b) {
  return b >= '0' && b <= '9';
}

}  // namespace

FileTypeCode TestGif(SectorProbe&, Bytes s) {
  // "GIF87a", "GIF89a": two digits and a lowercase letter.
  return When(s.size() > 7 && HasBytesAt(s, 0, "GIF") && IsDigit(s[3]) && IsDigit(s[4]) &&
                  s[5] >= 'a' && s[5] <= 'z',
              FileTypeCode::kGif);
}

FileTypeCode TestBmp(SectorProbe&, Bytes s) {
  if (s.size() < 40 || !(HasBytesAt(s, 0, "BM") || HasBytesAt(s, 0, "BA"))) return kNone;
  ByteReader r(s);
  // Both reserved words clear and a 40-byte info header.
  return When(r.le16At(6) == 0 && r.le16At(8) == 0 && r.le32At(14) == 40, FileTypeCode::kBmp);
}

FileTypeCode TestJpeg(SectorProbe&, Bytes s) {
  if (s.size() <= 15) return kNone;
  return When((HasBytesAt(s, 0, "\xFF\xD8\xFF\xE0"sv) && HasBytesAt(s, 6, "JFIF")) ||
                  (HasBytesAt(s, 0, "\xFF\xD8\xFF\xE1"sv) && HasBytesAt(s, 6, "Exif")),
              FileTypeCode::kJpeg);
}

FileTypeCode TestPng(SectorProbe&, Bytes s) {
  return When(s.size() > 7 && HasBytesAt(s, 0, "\x89PNG\r\n\x1A\n"sv), FileTypeCode::kPng);
}

FileTypeCode TestPsd(SectorProbe&, Bytes s) {
  return When(s.size() >= 40 && HasBytesAt(s, 0, "8BPS"), FileTypeCode::kPsd);
}

FileTypeCode TestTiff(SectorProbe&, Bytes s) {
  return When(
      s.size() > 3 && (HasBytesAt(s, 0, "MM\x00\x2A"sv) || HasBytesAt(s, 0, "II\x2A\x00"sv)),
      FileTypeCode::kTiff);
}

FileTypeCode TestIco(SectorProbe&, Bytes s) {
  if (s.size() <= 15 || !HasBytesAt(s, 0, "\x00\x00\x01\x00"sv)) return kNone;
  ByteReader r(s);
  const std::uint32_t count = r.le16At(4);
  const std::uint64_t directoryEnd = 6 + std::uint64_t{count} * 16;
  if (count == 0 || directoryEnd > s.size()) return kNone;
  // The images follow the directory back to back, in directory order.
  std::uint64_t expected = directoryEnd;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + std::size_t{i} * 16;
    if (r.u8At(entry + 3) != 0 || r.le32At(entry + 12) != expected) return kNone;
    expected += r.le32At(entry + 8);
  }
  return When(r.ok(), FileTypeCode::kIco);
}

FileTypeCode TestTrueType(SectorProbe&, Bytes s) {
  if (s.size() <= 15 || !HasBytesAt(s, 0, "\x00\x01\x00\x00"sv)) return kNone;
  ByteReader r(s);
  r.seek(4);
  const std::uint32_t tables = r.be16();
  const std::uint16_t searchRange = r.be16();
  const std::uint16_t entrySelector = r.be16();
  const std::uint16_t rangeShift = r.be16();
  if (tables == 0 || searchRange == 0 || entrySelector == 0 || rangeShift == 0) return kNone;
  const std::size_t directoryEnd = 12 + std::size_t{tables} * 16;
  if (directoryEnd + 4 > s.size()) return kNone;
  // The first table after the directory starts with a 1.0 version as well.
  return When(HasBytesAt(s, directoryEnd, "\x00\x01\x00\x00"sv), FileTypeCode::kTrueType);
}

}  // namespace keldrive
