#pragma once

#include <string>

#include "engine/file_time.h"
#include "engine/found_file.h"
#include "platform/result_code.h"

namespace keldrive {

// Whether a record's times are wall-clock times without a zone (FAT) rather than UTC.
bool TimesAreLocal(const FoundFile& record);

// Gives a recovered file the times its file system kept for it. Carved files know none,
// and are left with the time they were written.
ResultCode ApplyFoundFileTimes(const std::string& path, const FoundFile& record,
                               const FileTimes& times);

}  // namespace keldrive
