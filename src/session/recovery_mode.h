#pragma once

#include <optional>
#include <string_view>

namespace keldrive {

// Deleted recovery walks the live file system for deleted entries with the quick engine of
// its file system. Formatted and deep recovery both run the combined professional engine:
// formatted recovery is the name users know for it after a format, deep recovery the name
// for everything else.
enum class RecoveryMode { kDeleted, kFormatted, kDeep };

// The recovery-mode flag engine selection and the windows pass around: 0 for deleted
// recovery, 1 for the others.
inline constexpr int kDeletedRecoveryMode = 0;
inline constexpr int kProfessionalRecoveryMode = 1;

constexpr int ModeFlag(RecoveryMode mode) {
  return mode == RecoveryMode::kDeleted ? kDeletedRecoveryMode : kProfessionalRecoveryMode;
}
constexpr bool IsProfessional(RecoveryMode mode) {
  return mode != RecoveryMode::kDeleted;
}

// "deleted", "formatted", "deep".
std::string_view RecoveryModeName(RecoveryMode mode);
std::optional<RecoveryMode> ParseRecoveryMode(std::string_view name);

}  // namespace keldrive
