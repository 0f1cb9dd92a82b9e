#include "carve/header_tests.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr FileTypeCode kNone = FileTypeCode::kNone;

FileTypeCode When(bool holds, FileTypeCode code) {
  return holds ? code : kNone;
}

// PE header: signature, then the file header whose characteristics lie 22 bytes in.
constexpr std::size_t kPeOffsetField = 60;
constexpr std::uint32_t kMaxPeOffset = 488;
constexpr std::size_t kCharacteristics = 22;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kSystemFile = 0x1000;
constexpr std::uint16_t kDllFile = 0x2000;

}  // namespace

FileTypeCode TestGzip(SectorProbe&, Bytes s) {
  // Deflate, no flag but the stored name, the compression hint gzip writes (0 at its
  // default level, 2 for -9, 4 for -1), and an operating system from the list (or
  // unknown).
  if (s.size() <= 15 || !HasBytesAt(s, 0, "\x1F\x8B\x08"sv)) return kNone;
  const std::uint8_t flags = s[3];
  const std::uint8_t extraFlags = s[8];
  const std::uint8_t system = s[9];
  return When((flags == 0 || flags == 8) &&
                  (extraFlags == 0 || extraFlags == 2 || extraFlags == 4) &&
                  (system < 14 || system == 255),
              FileTypeCode::kGzip);
}

FileTypeCode Test7z(SectorProbe&, Bytes s) {
  return When(s.size() >= 5 && HasBytesAt(s, 0, "7z\xBC\xAF\x27"sv), FileTypeCode::k7z);
}

FileTypeCode TestZip(SectorProbe&, Bytes s) {
  return When(s.size() >= 48 && HasBytesAt(s, 0, "PK\x03\x04"sv), FileTypeCode::kZip);
}

FileTypeCode TestRar(SectorProbe&, Bytes s) {
  return When(s.size() > 6 && HasBytesAt(s, 0, "Rar!\x1A\x07\x00"sv), FileTypeCode::kRar);
}

FileTypeCode TestCab(SectorProbe&, Bytes s) {
  return When(s.size() > 35 && HasBytesAt(s, 0, "MSCF"), FileTypeCode::kCab);
}

FileTypeCode TestExecutable(SectorProbe&, Bytes s) {
  if (s.size() < 512 || !HasBytesAt(s, 0, "MZ")) return kNone;
  ByteReader r(s);
  const std::uint32_t pe = r.le32At(kPeOffsetField);
  if (pe > kMaxPeOffset || !HasBytesAt(s, pe, "PE\x00\x00"sv)) return kNone;
  const std::uint16_t characteristics = r.le16At(pe + kCharacteristics);
  if (!r.ok() || (characteristics & kExecutableImage) == 0) return kNone;
  if ((characteristics & kSystemFile) != 0) return FileTypeCode::kSys;
  if ((characteristics & kDllFile) != 0) return FileTypeCode::kDll;
  return FileTypeCode::kExe;
}

FileTypeCode TestGhost(SectorProbe&, Bytes s) {
  return When(s.size() >= 4 && HasBytesAt(s, 0, "\xFE\xEF\x00\x00"sv), FileTypeCode::kGho);
}

FileTypeCode TestSqlite(SectorProbe&, Bytes s) {
  return When(s.size() >= 16 && HasBytesAt(s, 0, "SQLite format 3\x00"sv), FileTypeCode::kSqlite);
}

FileTypeCode TestDbx(SectorProbe&, Bytes s) {
  return When(s.size() > 15 && HasBytesAt(s, 0, "\xCF\xAD\x12\xFE"sv), FileTypeCode::kDbx);
}

FileTypeCode TestPst(SectorProbe&, Bytes s) {
  return When(s.size() > 15 && HasBytesAt(s, 0, "!BDN") && HasBytesAt(s, 8, "SM"),
              FileTypeCode::kPst);
}

}  // namespace keldrive
