#include "platform/device_watch.h"

#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

extern char** environ;

namespace keldrive::platform {

namespace {

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

}  // namespace

std::string BlockDeviceSignature(const SystemRoots& roots) {
  // Every disk and, in its folder, every partition, with its size: a card swapped for
  // another of the same name and size is the one change this misses.
  std::set<std::string> lines;
  std::error_code ec;
  for (const auto& disk : std::filesystem::directory_iterator(roots.sys + "/block", ec)) {
    lines.insert(disk.path().filename().string() + "=" + FirstLine(disk.path() / "size"));
    std::error_code inner;
    for (const auto& entry : std::filesystem::directory_iterator(disk.path(), inner)) {
      if (!std::filesystem::exists(entry.path() / "partition", inner)) continue;
      lines.insert(entry.path().filename().string() + "=" + FirstLine(entry.path() / "size"));
    }
  }
  std::string signature;
  for (const std::string& line : lines) signature += line + ";";
  return signature;
}

bool MayRead(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

bool StartWithDiskRights(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& message) {
  const char* pkexec = nullptr;
  for (const char* candidate : {"/usr/bin/pkexec", "/bin/pkexec"}) {
    if (access(candidate, X_OK) == 0) {
      pkexec = candidate;
      break;
    }
  }
  if (pkexec == nullptr) {
    message =
        "Reading disks needs administrator rights. Start Keldrive again as root, "
        "for example with: sudo " +
        program;
    return false;
  }
  std::vector<std::string> words{pkexec, "env"};
  // pkexec clears the environment; the window needs its display.
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(name)) words.push_back(std::string(name) + "=" + value);
  }
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, pkexec, nullptr, nullptr, argv.data(), environ) != 0) {
    message = "pkexec could not be started; start Keldrive again as root.";
    return false;
  }
  return true;
}

}  // namespace keldrive::platform
