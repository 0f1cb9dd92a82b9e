#pragma once

#include <cstdint>
#include <string>

#include "platform/system_roots.h"
#include "support/temp_dir.h"

namespace keldrive::testing {

// A small imitation of /sys, /proc, /dev and udev's database, for the disk enumeration
// without real disks. Device nodes are empty regular files.
class FakeSystemTree {
 public:
  FakeSystemTree();

  struct Disk {
    std::string name;
    std::uint64_t sectors512 = 0;
    std::uint32_t logicalSectorSize = 512;
    bool removableFlag = false;
    std::string bus = "pci";  // "usb", "mmc", "virtual" (loop devices) or "pci"
    std::string backingFile;  // loop devices
    std::string majorMinor;
  };
  struct Partition {
    std::string name;
    int number = 0;
    std::uint64_t start512 = 0;
    std::uint64_t sectors512 = 0;
    std::string majorMinor;
  };

  void AddDisk(const Disk& disk);
  void AddPartition(const std::string& disk, const Partition& partition);
  void RemoveDisk(const std::string& name);
  // udev properties of a device ("ID_FS_TYPE=vfat" lines without the "E:").
  void SetUdevProperties(const std::string& majorMinor, const std::string& lines);
  void AddMount(const std::string& majorMinor, const std::string& mountPoint,
                const std::string& fileSystem, const std::string& source);

  const platform::SystemRoots& roots() const { return roots_; }
  std::string Dir(const std::string& name) const { return dir_.File(name); }

 private:
  TempDir dir_;
  platform::SystemRoots roots_;
  std::string mountinfo_;
  int mountId_ = 100;
};

}  // namespace keldrive::testing
