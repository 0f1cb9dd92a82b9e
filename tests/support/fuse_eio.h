#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace keldrive::testing {

// A byte range of a served file whose reads fail.
struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// A file served through the real kernel by tests/support/fuse_eio.py: the bytes of
// `source`, read-only, where every read that touches one of `bad` fails with EIO, as a
// drive fails a request that covers a bad sector. Reads bypass the page cache unless
// `buffered`. Mounted in a temporary folder when made, unmounted when destroyed.
//
// Where FUSE, fusermount or fusepy are missing, Ready() is false and SkipReason() says why:
//   FuseEioFile file(source, {{512512, 65536}});
//   if (!file.Ready()) GTEST_SKIP() << file.SkipReason();
class FuseEioFile {
 public:
  FuseEioFile(const std::string& source, const std::vector<ByteRange>& bad, bool buffered = false);
  ~FuseEioFile();
  FuseEioFile(const FuseEioFile&) = delete;
  FuseEioFile& operator=(const FuseEioFile&) = delete;

  bool Ready() const { return ready_; }
  const std::string& SkipReason() const { return skipReason_; }
  // The served file.
  const std::string& Path() const { return path_; }

 private:
  void Start(const std::string& source, const std::vector<ByteRange>& bad, bool buffered);
  void Stop();

  TempDir dir_;
  std::string mountPoint_;
  std::string path_;
  pid_t server_ = -1;
  bool ready_ = false;
  std::string skipReason_;
};

}  // namespace keldrive::testing
