#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "carve/carve_context.h"
#include "carve/file_type_code.h"
#include "disk/sector_device.h"
#include "platform/result_code.h"

namespace keldrive {

// One sector offered to the carver, with the progress data passed through to the
// progress callback while its file is sized.
struct CarveCandidate {
  SectorDevice* medium = nullptr;
  std::int32_t sectorSize = 512;
  std::span<const std::uint8_t> sector;  // the bytes of the hit sector
  std::uint64_t hitSector = 0;           // absolute sector on the medium
  std::uint64_t sectorsDone = 0;
  std::uint64_t totalSectors = 0;
  std::int32_t remainingSeconds = -1;
  std::uint64_t filesFound = 0;
};

struct CarvedFileHit {
  std::string name;  // "<hit sector>.<extension>"
  FileTypeCode code = FileTypeCode::kNone;
  std::uint64_t size = 0;  // bytes from the hit sector on
};

// Decides whether a file of a known type begins at the candidate sector and how many
// bytes it occupies. Returns 87 when nothing is carved there (no type recognised, a type
// that is never carved, or a sector size outside 1..65536), kCancelled when the progress
// callback cancelled while the file was sized, else 0 with `hit` filled. A size rule
// stopped by any other callback answer still gives 0 and the size reached.
ResultCode IdentifyAndSize(CarveContext& context, const CarveCandidate& candidate,
                           CarvedFileHit& hit);

// Whether the sector at `sectorNumber` holds what a file named with `extension` should
// begin with: the header test of the first row of that extension must return that row's
// code. Extensions the table does not know are never contradicted. Tests that read
// further sectors read them from `medium`; the answer does not depend on an earlier scan.
bool MatchesExtension(std::span<const std::uint8_t> sector, std::string_view extension,
                      SectorDevice& medium, std::int32_t sectorSize, std::uint64_t sectorNumber);

}  // namespace keldrive
