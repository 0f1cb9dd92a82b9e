#pragma once

#include <cstdint>
#include <vector>

namespace keldrive {

// One stretch of a found file's data as recovery reads it: `length` bytes of the file from
// `fileOffset` on lie at byte `mediumOffset` of the medium (the whole image or disk, not
// the volume). A sparse stretch has no place on the medium and reads as zeros.
struct ByteRun {
  std::uint64_t fileOffset = 0;
  std::uint64_t mediumOffset = 0;
  std::uint64_t length = 0;
  bool sparse = false;

  friend bool operator==(const ByteRun&, const ByteRun&) = default;
};

// What an engine can say of where a file's data lies.
enum class ByteRunsAnswer {
  kKnown,     // the runs cover the bytes recovery reads (none for an empty file)
  kResident,  // the data lies inside the file's own record (NTFS): no runs of its own
  kUnknown,   // the engine cannot say, or the file's structures could not be read
};

// Appends a run, joining it to the last one when the two follow one another both in the
// file and on the medium.
void AppendByteRun(std::vector<ByteRun>& runs, const ByteRun& run);

}  // namespace keldrive
