#include "platform/device_watch.h"

#include <gtest/gtest.h>

#include "support/fake_system_tree.h"

namespace keldrive::platform {
namespace {

// The desktop program rebuilds its media list when this changes.
TEST(BlockDeviceSignature, ChangesWhenADiskOrPartitionComesGoesOrResizes) {
  testing::FakeSystemTree tree;
  tree.AddDisk({.name = "sda", .sectors512 = 1000});
  const std::string before = BlockDeviceSignature(tree.roots());
  EXPECT_EQ(BlockDeviceSignature(tree.roots()), before);  // nothing happened

  tree.AddDisk({.name = "sdb", .sectors512 = 2000});  // a stick plugged in
  const std::string plugged = BlockDeviceSignature(tree.roots());
  EXPECT_NE(plugged, before);

  tree.AddPartition("sdb", {.name = "sdb1", .number = 1, .start512 = 2048, .sectors512 = 1000});
  const std::string partitioned = BlockDeviceSignature(tree.roots());
  EXPECT_NE(partitioned, plugged);

  tree.RemoveDisk("sdb");  // pulled out
  EXPECT_EQ(BlockDeviceSignature(tree.roots()), before);
}

}  // namespace
}  // namespace keldrive::platform
