#pragma once

#include "engine/scan_environment.h"

namespace keldrive {

// The check the file-system engines run on a found file's first data: the signature its
// extension promises (MatchesExtension).
ContentCheck SignatureContentCheck();

}  // namespace keldrive
