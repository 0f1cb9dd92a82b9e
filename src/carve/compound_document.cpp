#include <algorithm>
#include <array>

#include "carve/header_tests.h"
#include "carve/size_rules.h"
#include "carve/trailer_search.h"
#include "disk/checked_math.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kCompoundSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv;

// Header fields.
constexpr std::size_t kSectorShift = 30;
constexpr std::size_t kFatSectorCount = 44;
constexpr std::size_t kFirstDirectorySector = 48;
constexpr std::size_t kMiniFatSectorCount = 64;
constexpr std::size_t kFirstDifatSector = 68;
constexpr std::size_t kDifatSectorCount = 72;
constexpr std::size_t kHeaderDifat = 76;
constexpr std::uint32_t kHeaderDifatEntries = 109;

// Directory: 128-byte entries; the root entry's class identifier 80 bytes in.
constexpr std::size_t kDirectoryEntryBytes = 128;
constexpr std::size_t kRootClassId = 80;

// Class identifiers as stored (the first three fields little-endian).
constexpr std::string_view kWordClassId =
    "\x06\x09\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kExcelClassId =
    "\x20\x08\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kExcel5ClassId =
    "\x10\x08\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46"sv;
constexpr std::string_view kPowerPointClassId =
    "\x10\x8D\x81\x64\x9B\x4F\xCF\x11\x86\xEA\x00\xAA\x00\xB9\x29\xE8"sv;

struct StreamName {
  std::string_view name;
  FileTypeCode code;
};
// "Workbook" is Excel's stream; the spelling "Wordbook" is accepted as well.
constexpr std::array kStreamNames = {
    StreamName{"WordDocument", FileTypeCode::kDoc},
    StreamName{"Wordbook", FileTypeCode::kXls},
    StreamName{"Workbook", FileTypeCode::kXls},
    StreamName{"PowerPoint Document", FileTypeCode::kPpt},
};

// The allocation-table walk counts 128 four-byte entries in every FAT sector.
constexpr std::uint64_t kFatEntries = 128;
constexpr std::uint32_t kDifatNextEntry = 127;
constexpr std::uint32_t kDifatEntriesPerSector = 127;
constexpr std::uint32_t kFirstSpecialSector = 0xFFFFFFFC;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint64_t kDocumentLimit = 0x7FFFFFF;

constexpr std::string_view kWordFallbackMarker = "\x01\x00\xFE\xFF\x03\x0A"sv;
constexpr std::string_view kWordFallbackText = "Microsoft Office Word \xCE\xC4\xB5\xB5"sv;

// Compares a UTF-16 directory name with an ASCII name, ignoring case.
bool NameIs(Bytes entry, std::string_view name) {
  ByteReader r(entry);
  for (const char c : name) {
    std::uint16_t ch = r.le16();
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<std::uint16_t>(ch - 'A' + 'a');
    const char want = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (!r.ok() || ch != static_cast<std::uint16_t>(want)) return false;
  }
  return true;
}

FileTypeCode ClassifyByDirectory(Bytes directory, std::int32_t sectorSize) {
  const Bytes classId = ByteReader(directory).at(kRootClassId, 16).bytes(16);
  if (HasBytesAt(classId, 0, kWordClassId)) return FileTypeCode::kDoc;
  if (HasBytesAt(classId, 0, kExcelClassId) || HasBytesAt(classId, 0, kExcel5ClassId)) {
    return FileTypeCode::kXls;
  }
  if (HasBytesAt(classId, 0, kPowerPointClassId)) return FileTypeCode::kPpt;
  const std::size_t entries =
      std::min(static_cast<std::size_t>(sectorSize), directory.size()) / kDirectoryEntryBytes;
  for (std::size_t i = 0; i < entries; ++i) {
    const Bytes entry = directory.subspan(i * kDirectoryEntryBytes, kDirectoryEntryBytes);
    for (const StreamName& stream : kStreamNames) {
      if (NameIs(entry, stream.name)) return stream.code;
    }
  }
  return FileTypeCode::kOle;
}

// The compound file's sectors are taken to lie directly on the medium's, right after the
// header sector.
std::optional<std::uint64_t> DocumentSector(std::uint64_t headerSector, std::uint32_t number) {
  return CheckedAdd64(headerSector, std::uint64_t{1} + number);
}

// The number of the allocation-table sector that holds the table's last entries, or
// nothing when the header or the DIFAT chain cannot tell it.
std::optional<std::uint32_t> LastFatSector(CarveContext& context, ByteReader& header,
                                           std::uint32_t fatSectors, std::uint32_t difatSectors) {
  if (difatSectors == 0) {
    const std::uint32_t entry = header.le32At(kHeaderDifat + 4 * std::size_t{fatSectors - 1});
    return header.ok() ? std::optional(entry) : std::nullopt;
  }
  const std::uint32_t inLast = (fatSectors - kHeaderDifatEntries) % kDifatEntriesPerSector;
  const std::uint32_t lastEntry = inLast == 0 ? kDifatEntriesPerSector - 1 : inLast - 1;
  std::uint32_t current = header.le32At(kFirstDifatSector);
  // The chain is walked at most as far as the header's count, so a loop in it ends.
  for (std::uint32_t i = 0; i < difatSectors; ++i) {
    if (current >= kFirstSpecialSector) return std::nullopt;
    const auto sector = DocumentSector(context.probe.hitSector, current);
    if (!sector) return std::nullopt;
    ByteReader difat(ReadSizingSectors(context, *sector, 1));
    const bool last = i + 1 == difatSectors;
    current = difat.le32At(4 * std::size_t{last ? lastEntry : kDifatNextEntry});
    if (!difat.ok()) return std::nullopt;
  }
  return current;
}

}  // namespace

FileTypeCode TestCompoundDocument(SectorProbe& probe, Bytes s) {
  if (s.size() < 8 || !HasBytesAt(s, 0, kCompoundSignature)) return FileTypeCode::kNone;

  // Word and Excel usually write their main stream first, right after the header.
  const auto next = CheckedAdd64(probe.cursorSector, 1);
  if (!next) return FileTypeCode::kOle;
  ByteReader stream(probe.ReadSectors(*next, 1));
  if (stream.size() == 0) return FileTypeCode::kOle;
  if (stream.le16At(0) == 0xA5EC) return FileTypeCode::kDoc;  // Word's file information block
  if (stream.le16At(0) == 0x0809 && stream.le16At(2) == 0x0010 && stream.le16At(4) == 0x0600) {
    return FileTypeCode::kXls;  // a workbook's BOF record
  }

  ByteReader header(s);
  const std::uint32_t directoryNumber = header.le32At(kFirstDirectorySector);
  if (!header.ok()) return FileTypeCode::kOle;
  const auto directorySector = DocumentSector(probe.cursorSector, directoryNumber);
  if (!directorySector) return FileTypeCode::kOle;
  const Bytes directory = probe.ReadSectors(*directorySector, 1);
  if (directory.empty()) return FileTypeCode::kOle;
  return ClassifyByDirectory(directory, probe.sectorSize);
}

std::uint64_t CompoundDocumentSizeFromAllocationTable(CarveContext& context, Bytes headerBytes) {
  ByteReader header(headerBytes);
  const std::uint16_t shift = header.le16At(kSectorShift);
  const std::uint32_t fatSectors = header.le32At(kFatSectorCount);
  const std::uint32_t miniFatSectors = header.le32At(kMiniFatSectorCount);
  const std::uint32_t difatSectors = header.le32At(kDifatSectorCount);
  if (!header.ok() || (shift != 9 && shift != 12)) return 0;

  const std::uint32_t limit = (0xFFFFFFFAu >> (shift - 2)) + 1;
  const std::uint32_t entriesPerDifat = (1u << (shift - 2)) - 1;
  if (fatSectors > limit || miniFatSectors > limit || difatSectors > limit / entriesPerDifat + 1) {
    return 0;
  }
  // The header lists the first 109 allocation-table sectors; more need DIFAT sectors, and
  // fewer than one cannot describe a file.
  if (difatSectors != 0 && fatSectors < kHeaderDifatEntries) return 0;
  if (difatSectors == 0 && (fatSectors == 0 || fatSectors > kHeaderDifatEntries)) return 0;

  const std::uint64_t sectorsCovered = std::uint64_t{fatSectors} * kFatEntries + 1;
  const auto lastFat = LastFatSector(context, header, fatSectors, difatSectors);
  if (!lastFat) return 0;
  const auto fatSector = DocumentSector(context.probe.hitSector, *lastFat);
  if (!fatSector) return 0;
  ByteReader fat(ReadSizingSectors(context, *fatSector, 1));
  if (fat.size() < kFatEntries * 4) return 0;

  std::uint64_t freeAtEnd = 0;
  while (freeAtEnd < kFatEntries &&
         fat.le32At(4 * static_cast<std::size_t>(kFatEntries - 1 - freeAtEnd)) == kFreeSector) {
    ++freeAtEnd;
  }
  const auto bytes = CheckedMul64(sectorsCovered - freeAtEnd,
                                  static_cast<std::uint64_t>(context.probe.sectorSize));
  return std::min(bytes.value_or(kDocumentLimit), kDocumentLimit);
}

std::uint64_t SizeCompoundDocument(CarveContext& context, Bytes sector) {
  if (const std::uint64_t size = CompoundDocumentSizeFromAllocationTable(context, sector)) {
    return size;
  }
  // Without a usable allocation table, a Word document is cut after the application name
  // ("Microsoft Office Word" and the GBK text for "document") that its summary
  // information carries near the end, when the chunk also holds that section's header.
  return ExtendUntilBoundary(
      context, sector, kDocumentLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto text = FindFirst(chunk.window, kWordFallbackText,
                                    FirstNewPosition(chunk, kWordFallbackText.size()));
        if (!text || !FindFirst(chunk.window, kWordFallbackMarker)) return std::nullopt;
        const auto sectorBytes = static_cast<std::uint64_t>(chunk.sectorSize);
        const std::uint64_t end = chunk.FileOffset(*text + kWordFallbackText.size());
        return (end + sectorBytes - 1) / sectorBytes * sectorBytes;
      });
}

}  // namespace keldrive
