#include "session/recovery_mode.h"

namespace keldrive {

std::string_view RecoveryModeName(RecoveryMode mode) {
  switch (mode) {
    case RecoveryMode::kDeleted:
      return "deleted";
    case RecoveryMode::kFormatted:
      return "formatted";
    case RecoveryMode::kDeep:
      return "deep";
  }
  return "deleted";
}

std::optional<RecoveryMode> ParseRecoveryMode(std::string_view name) {
  for (const RecoveryMode mode : {RecoveryMode::kDeleted, RecoveryMode::kFormatted,
                                  RecoveryMode::kDeep}) {
    if (RecoveryModeName(mode) == name) return mode;
  }
  return std::nullopt;
}

}  // namespace keldrive
