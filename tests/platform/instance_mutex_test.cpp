#include "platform/instance_mutex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

TEST(InstanceMutex, OneHolderAtATimeAndFreeOnceItGoes) {
#ifndef _WIN32
  // The lock files go to a folder of the test's own and leave with it.
  testing::TempDir runtime;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
#endif
  const std::string name = "keldrive-test-" + std::to_string(std::random_device()());
  auto first = std::make_unique<InstanceMutex>();
  ASSERT_EQ(first->Claim(name), result::kSuccess);
  EXPECT_EQ(first->Claim(name), result::kSuccess) << "its holder may ask again";
  InstanceMutex second;
  EXPECT_EQ(second.Claim(name), result::kAlreadyExists);
  EXPECT_EQ(InstanceMutex().Claim(name + "-other"), result::kSuccess) << "names are apart";
  first.reset();
  EXPECT_EQ(second.Claim(name), result::kSuccess);
#ifndef _WIN32
  if (saved != nullptr) {
    ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
#endif
}

}  // namespace
}  // namespace keldrive::platform
