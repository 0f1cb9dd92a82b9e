#include <algorithm>

#include "carve/header_tests.h"
#include "carve/matroska_header.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr FileTypeCode kNone = FileTypeCode::kNone;

FileTypeCode When(bool holds, FileTypeCode code) {
  return holds ? code : kNone;
}

bool IsFtypBox(Bytes s) {
  return HasBytesAt(s, 4, "ftyp");
}

}  // namespace

FileTypeCode TestMpeg(SectorProbe&, Bytes s) {
  if (s.size() <= 15) return kNone;
  // A program stream starts with a pack header followed by a system header; an elementary
  // video stream with a sequence header followed by a group of pictures.
  const Bytes head = s.first(std::min<std::size_t>(s.size(), 32));
  if (HasBytesAt(s, 0, "\x00\x00\x01\xBA"sv)) {
    return When(FindFirst(head, "\x00\x00\x01\xBB"sv, 4).has_value(), FileTypeCode::kMpeg);
  }
  if (HasBytesAt(s, 0, "\x00\x00\x01\xB3"sv)) {
    return When(FindFirst(head, "\x00\x00\x01\xB8"sv, 4).has_value(), FileTypeCode::kMpeg);
  }
  return kNone;
}

FileTypeCode TestMp4(SectorProbe&, Bytes s) {
  return When(
      s.size() >= 32 && IsFtypBox(s) && (HasBytesAt(s, 8, "iso") || HasBytesAt(s, 8, "mp42")),
      FileTypeCode::kMp4);
}

FileTypeCode Test3gp(SectorProbe&, Bytes s) {
  return When(s.size() >= 32 && IsFtypBox(s) && HasBytesAt(s, 8, "3gp"), FileTypeCode::k3gp);
}

FileTypeCode TestMov(SectorProbe&, Bytes s) {
  return When(
      s.size() > 15 && (HasBytesAt(s, 0, "moov") || (IsFtypBox(s) && HasBytesAt(s, 8, "qt  "))),
      FileTypeCode::kMov);
}

FileTypeCode TestRealMedia(SectorProbe&, Bytes s) {
  return When(s.size() > 3 && HasBytesAt(s, 0, ".RMF"), FileTypeCode::kRealMedia);
}

FileTypeCode TestAsf(SectorProbe&, Bytes s) {
  // The ASF header object's identifier.
  return When(
      s.size() > 23 &&
          HasBytesAt(s, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv),
      FileTypeCode::kAsf);
}

FileTypeCode TestSwf(SectorProbe&, Bytes s) {
  if (s.size() <= 7) return kNone;
  const std::uint8_t version = s[3];
  // Compressed movies exist from version 6 on, plain ones in every version. Flash got as
  // far as version 51; a version byte far beyond that is no movie.
  constexpr std::uint8_t kLastPlainVersion = 63;
  if (HasBytesAt(s, 0, "CWS")) return When(version >= 6 && version <= 15, FileTypeCode::kSwf);
  if (HasBytesAt(s, 0, "FWS")) {
    return When(version >= 1 && version <= kLastPlainVersion, FileTypeCode::kSwf);
  }
  return kNone;
}

FileTypeCode TestAvi(SectorProbe&, Bytes s) {
  return When(s.size() > 15 && HasBytesAt(s, 0, "RIFF") && HasBytesAt(s, 8, "AVI LIST"),
              FileTypeCode::kAvi);
}

FileTypeCode TestWav(SectorProbe&, Bytes s) {
  return When(s.size() > 15 && HasBytesAt(s, 0, "RIFF") && HasBytesAt(s, 8, "WAVEfmt "),
              FileTypeCode::kWav);
}

FileTypeCode TestFlv(SectorProbe&, Bytes s) {
  return When(
      s.size() > 15 && HasBytesAt(s, 0, "FLV\x01"sv) && HasBytesAt(s, 5, "\x00\x00\x00\x09"sv),
      FileTypeCode::kFlv);
}

FileTypeCode TestMkv(SectorProbe&, Bytes s) {
  // The magic bytes open a whole EBML header, which must parse.
  return When(
      s.size() > 15 && HasBytesAt(s, 0, "\x1A\x45\xDF\xA3"sv) && ParseMatroskaHeader(s).has_value(),
      FileTypeCode::kMkv);
}

FileTypeCode TestMts(SectorProbe& probe, Bytes s) {
  // A 4-byte arrival timestamp, the packet header, then a program association section.
  if (s.size() <= 15 || !HasBytesAt(s, 8, "\x00\x00\xB0\x11\x00\x00\xC1\x00"sv)) return kNone;
  // Right after an mts hit only a stream that starts at time 0 counts as a new one.
  const bool startsAtZero = ByteReader(s).le32At(0) == 0;
  return When(startsAtZero || !probe.previousWasMts, FileTypeCode::kMts);
}

FileTypeCode TestMxf(SectorProbe&, Bytes s) {
  // The key of a closed and complete header partition pack.
  return When(
      s.size() > 15 &&
          HasBytesAt(s, 0, "\x06\x0E\x2B\x34\x02\x05\x01\x01\x0D\x01\x02\x01\x01\x02\x04\x00"sv),
      FileTypeCode::kMxf);
}

FileTypeCode TestMp3(SectorProbe&, Bytes s) {
  // An ID3v2 tag: version bytes, flags with the low bits clear, a synchsafe size.
  if (s.size() < 10 || !HasBytesAt(s, 0, "ID3")) return kNone;
  if (s[3] == 0xFF || s[4] == 0xFF || (s[5] & 0x1F) != 0) return kNone;
  return When(s[6] < 0x80 && s[7] < 0x80 && s[8] < 0x80 && s[9] < 0x80, FileTypeCode::kMp3);
}

FileTypeCode TestMp2(SectorProbe&, Bytes s) {
  return When(s.size() > 3 && HasBytesAt(s, 0, "\xFF\xFD\xE4\x00"sv), FileTypeCode::kMp2);
}

FileTypeCode TestMidi(SectorProbe&, Bytes s) {
  return When(
      s.size() >= 18 && HasBytesAt(s, 0, "MThd\x00\x00\x00\x06"sv) && HasBytesAt(s, 14, "MTrk"),
      FileTypeCode::kMidi);
}

FileTypeCode TestApe(SectorProbe&, Bytes s) {
  return When(s.size() > 3 && HasBytesAt(s, 0, "MAC "), FileTypeCode::kApe);
}

FileTypeCode TestMmf(SectorProbe&, Bytes s) {
  return When(s.size() > 3 && HasBytesAt(s, 0, "MMMD"), FileTypeCode::kMmf);
}

}  // namespace keldrive
