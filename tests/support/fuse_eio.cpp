#include "support/fuse_eio.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace keldrive::testing {
namespace {

using namespace std::chrono_literals;

// Starts a program found on PATH with its output going to `logPath` (or nowhere).
pid_t Spawn(const std::vector<std::string>& words, const std::string& logPath = "/dev/null") {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool Succeeds(const std::vector<std::string>& words) {
  const pid_t pid = Spawn(words);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Waits up to `timeout` for the process to end; true when it has.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  do {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || done < 0) return true;
    std::this_thread::sleep_for(20ms);
  } while (std::chrono::steady_clock::now() < until);
  return false;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first interpreter that has fusepy, under Debian's module name or PyPI's.
std::string FindPython() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (Succeeds({python, "-c", "try:\n import fusepy\nexcept ImportError:\n import fuse"})) {
      return python;
    }
  }
  return "";
}

}  // namespace

FuseEioFile::FuseEioFile(const std::string& source, const std::vector<ByteRange>& bad,
                         bool buffered) {
  Start(source, bad, buffered);
  if (!ready_) Stop();
}

FuseEioFile::~FuseEioFile() {
  Stop();
}

void FuseEioFile::Start(const std::string& source, const std::vector<ByteRange>& bad,
                        bool buffered) {
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    skipReason_ = "no usable /dev/fuse";
    return;
  }
  if (!Succeeds({"fusermount", "-V"})) {
    skipReason_ = "fusermount is not installed";
    return;
  }
  const std::string python = FindPython();
  if (python.empty()) {
    skipReason_ = "python3-fusepy is not installed";
    return;
  }
  struct stat sourceInfo {};
  if (::stat(source.c_str(), &sourceInfo) != 0) {
    skipReason_ = "no source file " + source;
    return;
  }

  mountPoint_ = dir_.File("mnt");
  std::filesystem::create_directory(mountPoint_);
  path_ = mountPoint_ + "/medium.img";
  const std::string log = dir_.File("server.log");
  std::vector<std::string> words{python,     KELDRIVE_TEST_SUPPORT "/fuse_eio.py",
                                 source,     mountPoint_,
                                 "--name",   "medium.img",
                                 "--parent", std::to_string(::getpid())};
  for (const ByteRange& range : bad) {
    words.push_back("--bad");
    words.push_back(std::to_string(range.offset) + ":" + std::to_string(range.length));
  }
  if (buffered) words.push_back("--buffered");
  server_ = Spawn(words, log);
  if (server_ <= 0) {
    skipReason_ = "cannot start " + python;
    return;
  }

  struct stat folderInfo {};
  ::stat(dir_.path().c_str(), &folderInfo);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (::waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      skipReason_ = "the FUSE server ended: " + ReadText(log);
      return;
    }
    struct stat mounted {};
    struct stat served {};
    if (::stat(mountPoint_.c_str(), &mounted) == 0 && mounted.st_dev != folderInfo.st_dev &&
        ::stat(path_.c_str(), &served) == 0 && served.st_size == sourceInfo.st_size) {
      ready_ = true;
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  skipReason_ = "the FUSE mount did not appear: " + ReadText(log);
}

void FuseEioFile::Stop() {
  if (server_ > 0) {
    if (!mountPoint_.empty() && !Succeeds({"fusermount", "-u", mountPoint_})) {
      Succeeds({"fusermount", "-u", "-z", mountPoint_});
    }
    if (!Reap(server_, 5s)) {
      ::kill(server_, SIGKILL);
      Reap(server_, 5s);
      Succeeds({"fusermount", "-u", "-z", mountPoint_});
    }
    server_ = -1;
  }
  ready_ = false;
}

}  // namespace keldrive::testing
