#include "support/fake_system_tree.h"

#include <filesystem>

namespace keldrive::testing {

namespace fs = std::filesystem;

FakeSystemTree::FakeSystemTree() {
  roots_.sys = dir_.File("sys");
  roots_.proc = dir_.File("proc");
  roots_.dev = dir_.File("dev");
  roots_.udevData = dir_.File("run/udev/data");
  fs::create_directories(roots_.sys + "/block");
  fs::create_directories(roots_.dev);
  fs::create_directories(roots_.udevData);
  WriteFile(roots_.proc + "/self/mountinfo", std::string());
}

void FakeSystemTree::AddDisk(const Disk& disk) {
  // As in the kernel, /sys/block/<name> links to the device's place in the device tree,
  // which shows the bus it hangs on.
  const fs::path device = fs::path(roots_.sys) / "devices" /
                          (disk.bus == "virtual" ? "virtual" : "pci0000:00") /
                          (disk.bus == "usb"   ? "usb2/2-1/host6"
                           : disk.bus == "mmc" ? "mmc_host/mmc0/mmc0:0001"
                                               : "x") /
                          "block" / disk.name;
  fs::create_directories(device / "queue");
  WriteFile(device / "size", std::to_string(disk.sectors512) + "\n");
  WriteFile(device / "removable", disk.removableFlag ? "1\n" : "0\n");
  WriteFile(device / "queue" / "logical_block_size", std::to_string(disk.logicalSectorSize) + "\n");
  WriteFile(device / "dev", disk.majorMinor + "\n");
  if (!disk.backingFile.empty())
    WriteFile(device / "loop" / "backing_file", disk.backingFile + "\n");
  fs::create_symlink(device, fs::path(roots_.sys) / "block" / disk.name);
  WriteFile(fs::path(roots_.dev) / disk.name, std::string());
}

void FakeSystemTree::AddPartition(const std::string& disk, const Partition& partition) {
  const fs::path entry = fs::path(roots_.sys) / "block" / disk / partition.name;
  fs::create_directories(entry);
  WriteFile(entry / "partition", std::to_string(partition.number) + "\n");
  WriteFile(entry / "start", std::to_string(partition.start512) + "\n");
  WriteFile(entry / "size", std::to_string(partition.sectors512) + "\n");
  WriteFile(entry / "dev", partition.majorMinor + "\n");
  WriteFile(fs::path(roots_.dev) / partition.name, std::string());
}

void FakeSystemTree::RemoveDisk(const std::string& name) {
  fs::remove(fs::path(roots_.sys) / "block" / name);
}

void FakeSystemTree::SetUdevProperties(const std::string& majorMinor, const std::string& lines) {
  std::string text;
  std::size_t start = 0;
  while (start < lines.size()) {
    const std::size_t end = lines.find('\n', start);
    text += "E:" + lines.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  WriteFile(fs::path(roots_.udevData) / ("b" + majorMinor), text);
}

void FakeSystemTree::AddMount(const std::string& majorMinor, const std::string& mountPoint,
                              const std::string& fileSystem, const std::string& source) {
  fs::create_directories(mountPoint);
  mountinfo_ += std::to_string(mountId_++) + " 1 " + majorMinor + " / " + mountPoint +
                " rw,relatime shared:1 - " + fileSystem + " " + source + " rw\n";
  WriteFile(roots_.proc + "/self/mountinfo", mountinfo_);
}

}  // namespace keldrive::testing
