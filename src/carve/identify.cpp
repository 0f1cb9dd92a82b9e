#include "carve/identify.h"

#include "carve/first_byte_index.h"
#include "carve/signature_table.h"
#include "disk/checked_math.h"

namespace keldrive {

ResultCode IdentifyAndSize(CarveContext& context, const CarveCandidate& candidate,
                           CarvedFileHit& hit) {
  SectorProbe& probe = context.probe;
  probe.medium = candidate.medium;
  probe.sectorSize = candidate.sectorSize;
  probe.hitSector = candidate.hitSector;
  probe.cursorSector = candidate.hitSector;
  context.progress.sectorsDone = candidate.sectorsDone;
  context.progress.totalSectors = candidate.totalSectors;
  context.progress.remainingSeconds = candidate.remainingSeconds;
  context.progress.filesFound = candidate.filesFound;
  if (candidate.sectorSize <= 0 || candidate.sectorSize > kMaxCarveSectorBytes) {
    return result::kInvalidParameter;
  }

  const FileTypeCode code = context.useFirstByteIndex
                                ? RecogniseSector(probe, candidate.sector)
                                : RecogniseSectorByTableWalk(probe, candidate.sector);
  // Until a type is known to be carved, the sector counts as "no new file" for the
  // transport-stream continuation test of the next identification.
  probe.previousWasTs = true;
  probe.previousWasMts = false;
  const SignatureRow* row = NamingRow(code);
  if (row == nullptr || row->sizeRule == nullptr) return result::kInvalidParameter;

  probe.previousWasTs = code == FileTypeCode::kTs;
  probe.previousWasMts = code == FileTypeCode::kMts;
  hit.name = std::to_string(static_cast<std::int64_t>(candidate.hitSector));
  hit.name += '.';
  hit.name += row->extension;
  hit.code = code;
  context.stopValue = result::kSuccess;
  hit.size = row->sizeRule(context, candidate.sector);
  // Sizes taken from header fields are not bounded by the medium; no file runs past its end.
  if (candidate.medium != nullptr && candidate.hitSector < candidate.medium->totalSectors) {
    const std::uint64_t sectorsLeft = candidate.medium->totalSectors - candidate.hitSector;
    const auto bytesLeft =
        CheckedMul64(sectorsLeft, static_cast<std::uint64_t>(candidate.sectorSize));
    if (bytesLeft && hit.size > *bytesLeft) hit.size = *bytesLeft;
  }
  return context.stopValue == result::kCancelled ? result::kCancelled : result::kSuccess;
}

bool MatchesExtension(std::span<const std::uint8_t> sector, std::string_view extension,
                      SectorDevice& medium, std::int32_t sectorSize, std::uint64_t sectorNumber) {
  const SignatureRow* row = FindRowByExtension(extension);
  if (row == nullptr) return true;
  SectorProbe probe;
  probe.medium = &medium;
  probe.sectorSize = sectorSize;
  probe.hitSector = sectorNumber;
  probe.cursorSector = sectorNumber;
  return row->headerTest(probe, sector) == row->code;
}

}  // namespace keldrive
