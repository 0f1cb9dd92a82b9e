#pragma once

#include "platform/result_code.h"

namespace keldrive::ntfs_result {

// The record readers' own results, beside the platform codes of a failed read (30, 87).
// Callers tell "no such record" from "no such attribute" by them.
inline constexpr ResultCode kNotFileRecord = -1;
inline constexpr ResultCode kAttributeNotFound = -100;
inline constexpr ResultCode kNoResidentData = -101;

}  // namespace keldrive::ntfs_result
