#include "platform/result_code.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace keldrive {
namespace {

TEST(ResultCode, MapsErrnoToTheNearestCode) {
  const std::pair<int, ResultCode> cases[] = {
      {0, 0},      {ENOENT, 2},   {ENOTDIR, 3},  {EACCES, 5},   {EPERM, 5},
      {ENOMEM, 8}, {EROFS, 19},   {EINVAL, 87},  {ENOSPC, 112}, {EEXIST, 183},
      {EIO, 1117}, {EISDIR, 267}, {12345, 1117},
  };
  for (const auto& [errnoValue, code] : cases) {
    EXPECT_EQ(ResultFromErrno(errnoValue), code) << "errno " << errnoValue;
  }
}

TEST(ResultCode, DescribesKnownAndUnknownCodes) {
  EXPECT_EQ(DescribeResult(result::kAccessDenied), "access denied");
  EXPECT_EQ(DescribeResult(result::kCancelled), "cancelled by the user");
  EXPECT_EQ(DescribeResult(4242), "error 4242");
}

}  // namespace
}  // namespace keldrive
