#include "engine/found_file_times.h"

#include "platform/file_times.h"

namespace keldrive {

bool TimesAreLocal(const FoundFile& record) {
  const auto engine = static_cast<SourceEngine>(record.sourceEngine);
  return engine == SourceEngine::kQuickFat || engine == SourceEngine::kProfessionalFat;
}

ResultCode ApplyFoundFileTimes(const std::string& path, const FoundFile& record,
                               const FileTimes& times) {
  if (times.accessed == 0 && times.modified == 0 && times.created == 0) return result::kSuccess;
  return platform::SetFileTimes(
      path, {times.created, times.accessed, times.modified, TimesAreLocal(record)});
}

}  // namespace keldrive
