#include "platform/device_identity.h"

#include <blkid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "platform/file_handle.h"
#include "platform/path_info.h"

namespace keldrive::platform {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> UdevProperties(const SystemRoots& roots, dev_t device) {
  std::map<std::string, std::string> properties;
  std::ifstream file(fs::path(roots.udevData) /
                     ("b" + std::to_string(major(device)) + ":" + std::to_string(minor(device))));
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("E:", 0) != 0) continue;
    const auto equals = line.find('=');
    if (equals != std::string::npos) {
      properties.emplace(line.substr(2, equals - 2), line.substr(equals + 1));
    }
  }
  return properties;
}

std::string Get(const std::map<std::string, std::string>& properties, const char* key) {
  const auto it = properties.find(key);
  return it != properties.end() ? it->second : std::string();
}

// udev is not everywhere (containers, early boot): the ids the device itself holds.
void ProbeIds(const std::string& path, MediumIdentity& out) {
  std::unique_ptr<blkid_struct_probe, void (*)(blkid_probe)> probe(
      blkid_new_probe_from_filename(path.c_str()), blkid_free_probe);
  if (!probe) return;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_UUID);
  blkid_probe_enable_partitions(probe.get(), 1);
  blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_ENTRY_DETAILS);
  if (blkid_do_safeprobe(probe.get()) != 0) return;
  const char* value = nullptr;
  if (out.fileSystemUuid.empty() &&
      blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0 && value != nullptr) {
    out.fileSystemUuid = value;
  }
  if (out.partitionUuid.empty() &&
      blkid_probe_lookup_value(probe.get(), "PART_ENTRY_UUID", &value, nullptr) == 0 &&
      value != nullptr) {
    out.partitionUuid = value;
  }
}

}  // namespace

bool QueryMediumIdentity(const std::string& path, MediumIdentity& out, const SystemRoots& roots) {
  out = MediumIdentity{};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) {
    out.sizeBytes = static_cast<std::uint64_t>(st.st_size);
    return QueryLastWriteTime(path, out.writeTime) == result::kSuccess;
  }
  if (!S_ISBLK(st.st_mode)) return false;
  out.isDevice = true;
  FileHandle device;
  if (FileHandle::OpenReadOnly(path, device) == result::kSuccess) device.QuerySize(out.sizeBytes);
  const auto properties = UdevProperties(roots, st.st_rdev);
  out.serial = Get(properties, "ID_SERIAL");
  out.partitionUuid = Get(properties, "ID_PART_ENTRY_UUID");
  out.fileSystemUuid = Get(properties, "ID_FS_UUID");
  if (out.partitionUuid.empty() || out.fileSystemUuid.empty()) ProbeIds(path, out);
  return true;
}

}  // namespace keldrive::platform
