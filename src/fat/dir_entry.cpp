#include "fat/dir_entry.h"

#include <algorithm>
#include <string_view>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

// The window of believable times for a live file: 1990-01-01 to 2050-01-01.
const FileTime kEarliestTime = [] {
  FileTime t = 0;
  CalendarToFileTime({.year = 1990, .month = 1, .day = 1}, t);
  return t;
}();
const FileTime kLatestTime = [] {
  FileTime t = 0;
  CalendarToFileTime({.year = 2050, .month = 1, .day = 1}, t);
  return t;
}();

constexpr std::size_t kMaxLongNameRun = 18;  // 18 pieces of 13 characters exceed 255

bool InTimeWindow(FileTime time) {
  return time >= kEarliestTime && time <= kLatestTime;
}

bool IsForbiddenNameByte(std::uint8_t b) {
  if (b < 0x20 || (b >= 'a' && b <= 'z')) return true;
  static constexpr std::string_view kForbidden = "\"*./:<>?\\|";
  return kForbidden.find(static_cast<char>(b)) != std::string_view::npos;
}

bool IsEmptyFolderEntry(const DirEntry& e) {
  return e.IsDirectory() && e.size == 0;
}

bool IsDotDotEntry(const DirEntry& e) {
  return e.name[0] == '.' && e.name[1] == '.' && IsEmptyFolderEntry(e);
}

std::span<const std::uint8_t> EntryAt(std::span<const std::uint8_t> sector, std::size_t index) {
  const std::size_t offset = index * kDirEntryBytes;
  if (offset + kDirEntryBytes > sector.size()) return {};
  return sector.subspan(offset, kDirEntryBytes);
}

bool AllZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Step 6 of the sector test, for a short entry.
bool IsPlausibleShortEntry(const DirEntry& e) {
  if (!e.IsVolumeLabel() &&
      FatTimeToFileTime(e.creationDate, e.creationTime, e.creationHundredths) == 0) {
    return false;
  }
  for (const std::uint8_t b : e.name) {
    if (b < 0x20 || b == '.') return false;
  }
  // Padding spaces run to the end of the name and of the extension.
  const auto paddedProperly = [](const std::uint8_t* begin, const std::uint8_t* end) {
    const std::uint8_t* space = std::find(begin, end, ' ');
    return std::all_of(space, end, [](std::uint8_t b) { return b == ' '; });
  };
  // A volume label is one 11-character text, spaces included ("NEW VOLUME ").
  if (e.IsVolumeLabel()) return true;
  if (!paddedProperly(e.name.data(), e.name.data() + 8) ||
      !paddedProperly(e.name.data() + 8, e.name.data() + 11)) {
    return false;
  }
  // A byte above 0x7F belongs to a double-byte character and is followed by another.
  for (std::size_t i = e.IsDeleted() ? 1 : 0; i < 10; ++i) {
    if (e.name[i] > 0x7F && e.name[i + 1] <= 0x7F) return false;
  }
  return true;
}

}  // namespace

bool ParseDirEntry(std::span<const std::uint8_t> bytes, DirEntry& out) {
  ByteReader r(bytes);
  const auto name = r.bytes(11);
  if (!r.ok()) return false;
  std::copy(name.begin(), name.end(), out.name.begin());
  out.attributes = r.u8();
  out.caseFlags = r.u8();
  out.creationHundredths = r.u8();
  out.creationTime = r.le16();
  out.creationDate = r.le16();
  out.accessDate = r.le16();
  out.clusterHigh = r.le16();
  out.writeTime = r.le16();
  out.writeDate = r.le16();
  out.clusterLow = r.le16();
  out.size = r.le32();
  return r.ok();
}

bool ParseLongNameEntry(std::span<const std::uint8_t> bytes, LongNameEntry& out) {
  ByteReader r(bytes);
  out.sequence = r.u8At(0);
  out.checksum = r.u8At(13);
  // The 13 characters lie at offsets 1..10, 14..25 and 28..31.
  static constexpr std::array<std::size_t, kLongNameChars> kOffsets{1,  3,  5,  7,  9,  14, 16,
                                                                    18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < kLongNameChars; ++i) {
    out.chars[i] = static_cast<char16_t>(r.le16At(kOffsets[i]));
  }
  return r.ok() && bytes.size() >= kDirEntryBytes;
}

FileTime FatTimeToFileTime(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths) {
  CalendarTime c;
  c.year = 1980 + (date >> 9);
  c.month = (date >> 5) & 0x0F;
  c.day = date & 0x1F;
  c.hour = time >> 11;
  c.minute = (time >> 5) & 0x3F;
  c.second = (time & 0x1F) * 2 + hundredths / 100;
  c.millisecond = hundredths % 100 * 10;
  FileTime out = 0;
  return CalendarToFileTime(c, out) ? out : 0;
}

std::uint8_t LongNameChecksum(std::span<const std::uint8_t, 11> shortName) {
  std::uint8_t sum = 0;
  for (const std::uint8_t b : shortName) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + b);
  }
  return sum;
}

bool IsValidDirEntry(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> next) {
  DirEntry e;
  if (!ParseDirEntry(entry, e)) return false;

  DirEntry n;
  if (e.name[0] == '.' && IsEmptyFolderEntry(e) && ParseDirEntry(next, n) && IsDotDotEntry(n)) {
    return true;
  }

  const std::uint8_t a = e.attributes;
  if (e.size == 0 && !e.IsDirectory() && e.clusterLow != 0) return false;
  if (a == fat_attr::kVolumeLabel && (e.size != 0 || e.clusterLow != 0)) return false;
  // Only long-name entries and the volume label itself carry the label bit.
  if (a != fat_attr::kLongName && a != fat_attr::kVolumeLabel &&
      (a & fat_attr::kVolumeLabel) != 0) {
    return false;
  }
  if (e.IsDirectory() && (a & fat_attr::kReadOnly) != 0) return false;
  if ((a & 0xC0) != 0) return false;

  if (e.IsLongName()) {
    if (!e.IsDeleted() && (e.name[0] & ~0x40) > static_cast<int>(kMaxLongNameRun)) return false;
  } else {
    if (!e.IsDeleted() && !e.IsDirectory()) {
      const bool timesBelievable =
          InTimeWindow(FatTimeToFileTime(e.creationDate, e.creationTime, e.creationHundredths)) &&
          InTimeWindow(FatTimeToFileTime(e.accessDate, 0)) &&
          InTimeWindow(FatTimeToFileTime(e.writeDate, e.writeTime));
      if (!timesBelievable) return false;
    }
    if (!e.IsVolumeLabel() && std::any_of(e.name.begin(), e.name.end(), IsForbiddenNameByte)) {
      return false;
    }
  }

  if (!e.IsDeleted() && e.IsDirectory() && !e.IsLongName() && e.size != 0) return false;
  if (e.IsLongName() && e.clusterLow != 0) return false;
  if (a > 0x3F) return false;
  return a == fat_attr::kVolumeLabel || a == fat_attr::kLongName ||
         (a & (fat_attr::kDirectory | fat_attr::kArchive)) != 0;
}

bool IsDotPairSector(std::span<const std::uint8_t> sector) {
  DirEntry first, second;
  return ParseDirEntry(EntryAt(sector, 0), first) && ParseDirEntry(EntryAt(sector, 1), second) &&
         first.name[0] == '.' && first.name[1] == ' ' && IsEmptyFolderEntry(first) &&
         IsDotDotEntry(second);
}

bool IsFatDirectorySector(std::span<const std::uint8_t> sector) {
  if (sector.size() < kDirEntryBytes) return true;
  const std::size_t count = sector.size() / kDirEntryBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const auto bytes = sector.subspan(i * kDirEntryBytes, kDirEntryBytes);
    if (bytes[0] == 0) {
      return i != 0 && AllZero(sector.subspan(i * kDirEntryBytes));
    }
    if (!IsValidDirEntry(bytes, EntryAt(sector, i + 1))) return false;
    if (std::equal(bytes.begin() + 17, bytes.begin() + 31, bytes.begin() + 1)) return false;

    DirEntry e;
    ParseDirEntry(bytes, e);
    if (e.IsLongName()) {
      const std::uint8_t checksum = bytes[13];
      std::size_t run = 0;
      std::size_t j = i + 1;
      for (; j < count; ++j) {
        const auto following = sector.subspan(j * kDirEntryBytes, kDirEntryBytes);
        if (!IsValidDirEntry(following, EntryAt(sector, j + 1))) return false;
        DirEntry f;
        ParseDirEntry(following, f);
        if (f.IsLongName()) {
          if (following[13] != checksum || ++run > kMaxLongNameRun) return false;
          continue;
        }
        const std::span<const std::uint8_t, 11> shortName(following.data(), 11);
        if (!f.IsDeleted() && LongNameChecksum(shortName) != checksum) return false;
        break;  // the short entry is judged on its own in the next round
      }
      i = j - 1;
      continue;
    }
    if (!IsPlausibleShortEntry(e)) return false;
  }
  return true;
}

}  // namespace keldrive
