#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/found_file.h"
#include "engine/recovery_engine.h"

namespace keldrive {

// Writes one found file to a path; the engine that found it knows where its data lies.
using WriteFoundFile = std::function<ResultCode(const FoundFile& file, const std::string& path)>;

// RecoverItem as every engine does it. A file is written to `targetPath`, its folder made
// first. A folder becomes `targetPath` and is filled breadth first from the engine's
// listings, each folder listed at the depth its path gives (its separators, a last
// character not counted, minus `depthOffset`). Names from the medium are made safe and
// kept inside `targetPath`; a name taken twice in one folder gets "(n)". A cancel ends
// everything at once; other errors are passed over, and the result is the last one.
ResultCode RecoverFoundItem(IFileRecoveryParse& engine, const FoundFile& record,
                            const std::string& targetPath, std::int32_t depthOffset,
                            const WriteFoundFile& writeFile);

}  // namespace keldrive
