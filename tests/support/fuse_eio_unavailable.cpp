#include "support/fuse_eio.h"

// FUSE is Linux's: on Windows the tests that serve failing reads through it skip.
namespace keldrive::testing {

FuseEioFile::FuseEioFile(const std::string&, const std::vector<ByteRange>&, bool) {
  skipReason_ = "FUSE is not available on Windows";
}

FuseEioFile::~FuseEioFile() = default;

}  // namespace keldrive::testing
