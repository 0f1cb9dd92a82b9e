#include "engine/byte_run.h"

namespace keldrive {

void AppendByteRun(std::vector<ByteRun>& runs, const ByteRun& run) {
  if (run.length == 0) return;
  if (!runs.empty()) {
    ByteRun& last = runs.back();
    const bool followsInFile = last.fileOffset + last.length == run.fileOffset;
    const bool followsOnMedium =
        last.sparse ? run.sparse
                    : !run.sparse && last.mediumOffset + last.length == run.mediumOffset;
    if (followsInFile && followsOnMedium && last.sparse == run.sparse) {
      last.length += run.length;
      return;
    }
  }
  runs.push_back(run);
}

}  // namespace keldrive
