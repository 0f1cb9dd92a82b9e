#include <algorithm>
#include <cstring>

#include "carve/header_tests.h"
#include "disk/checked_math.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::int32_t kSectorsPerRead = 4;
constexpr std::int32_t kMostSectors = 20;
// The tail of one read kept in front of the next, so that a header cut by the read
// boundary is still seen together with its name.
constexpr std::size_t kCarryBytes = 64;
constexpr std::size_t kLocalNameOffset = 30;
constexpr std::size_t kCentralNameOffset = 46;

bool StartsWithFolded(Bytes name, std::string_view prefix, std::size_t minimumLeft) {
  if (name.size() < minimumLeft || name.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    std::uint8_t c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c - 'A' + 'a');
    if (c != static_cast<std::uint8_t>(prefix[i])) return false;
  }
  return true;
}

// Office packages keep each application's parts under its own top folder.
FileTypeCode ClassifyEntryName(Bytes name) {
  if (StartsWithFolded(name, "word", 5)) return FileTypeCode::kDocx;
  if (StartsWithFolded(name, "ppt", 4)) return FileTypeCode::kPptx;
  if (StartsWithFolded(name, "xl", 3)) return FileTypeCode::kXlsx;
  return FileTypeCode::kNone;
}

// Walks the ZIP headers of the window in order; kNone with `ended` set at the end record.
FileTypeCode ClassifyHeaders(Bytes window, bool& ended) {
  std::size_t at = 0;
  while (auto found = FindFirst(window, "PK", at)) {
    const std::size_t sig = *found;
    at = sig + 2;
    std::size_t nameOffset = 0;
    if (HasBytesAt(window, sig, "PK\x03\x04"sv)) {
      nameOffset = kLocalNameOffset;
    } else if (HasBytesAt(window, sig, "PK\x01\x02"sv)) {
      nameOffset = kCentralNameOffset;
    } else if (HasBytesAt(window, sig, "PK\x05\x06"sv)) {
      ended = true;
      return FileTypeCode::kNone;
    } else {
      continue;
    }
    if (sig + nameOffset >= window.size()) continue;
    const FileTypeCode code = ClassifyEntryName(window.subspan(sig + nameOffset));
    if (code != FileTypeCode::kNone) return code;
  }
  return FileTypeCode::kNone;
}

FileTypeCode ClassifyPackage(SectorProbe& probe) {
  if (probe.sectorSize <= 0 || probe.sectorSize > kMaxCarveSectorBytes) return FileTypeCode::kNone;
  const std::size_t readBytes =
      static_cast<std::size_t>(kSectorsPerRead) * static_cast<std::size_t>(probe.sectorSize);
  const std::span<std::uint8_t> buffer = probe.Buffer(kCarryBytes + readBytes);
  if (buffer.empty()) return FileTypeCode::kNone;

  std::size_t carried = 0;
  for (std::int32_t done = 0; done < kMostSectors; done += kSectorsPerRead) {
    const auto start = CheckedAdd64(probe.cursorSector, static_cast<std::uint64_t>(done));
    if (!start) return FileTypeCode::kNone;
    const std::size_t got =
        probe.ReadInto(buffer.subspan(kCarryBytes, readBytes), *start, kSectorsPerRead);
    if (got == 0) return FileTypeCode::kNone;
    const Bytes window = Bytes(buffer).subspan(kCarryBytes - carried, carried + got);
    bool ended = false;
    const FileTypeCode code = ClassifyHeaders(window, ended);
    if (code != FileTypeCode::kNone || ended) return code;
    if (got < readBytes) return FileTypeCode::kNone;  // the medium ends here
    carried = std::min(kCarryBytes, window.size());
    std::memmove(buffer.data() + kCarryBytes - carried, window.data() + window.size() - carried,
                 carried);
  }
  return FileTypeCode::kNone;
}

}  // namespace

FileTypeCode TestPackage(SectorProbe& probe, Bytes s) {
  if (s.size() < 31) return FileTypeCode::kNone;
  if (!HasBytesAt(s, 0, "PK\x03\x04"sv) && !HasBytesAt(s, 31, "[Content_Types].xml")) {
    return FileTypeCode::kNone;
  }
  // A plain ZIP falls through to the later "zip" row.
  return ClassifyPackage(probe);
}

}  // namespace keldrive
