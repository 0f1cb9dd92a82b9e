#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace keldrive {

// A stretch of a written file whose bytes could not be read from the medium; the file
// holds zeros there.
struct UnreadableStretch {
  std::uint64_t offset = 0;  // in the file
  std::uint64_t length = 0;
  friend bool operator==(const UnreadableStretch&, const UnreadableStretch&) = default;
};

// The unreadable stretches of every file written while it exists, by target path. Whoever
// runs a recovery makes one; the engines' readers report into the one of their thread
// (an engine is used by one thread at a time) without knowing who listens, and report
// into nothing when nobody does.
class UnreadableDataLog {
 public:
  UnreadableDataLog();
  ~UnreadableDataLog();
  UnreadableDataLog(const UnreadableDataLog&) = delete;
  UnreadableDataLog& operator=(const UnreadableDataLog&) = delete;

  const std::vector<UnreadableStretch>& Of(const std::string& path) const;

 private:
  friend void BeginWrittenFile(const std::string& path);
  friend void ReportUnreadableStretch(std::uint64_t offset, std::uint64_t length);

  UnreadableDataLog* outer_;
  std::map<std::string, std::vector<UnreadableStretch>> files_;
  std::string current_;
};

// The file the following reports belong to.
void BeginWrittenFile(const std::string& path);
// `length` bytes at `offset` of the current file could not be read; adjacent stretches join.
void ReportUnreadableStretch(std::uint64_t offset, std::uint64_t length);

// "bytes 4096-8191, 12288-12799": the stretches as inclusive byte ranges.
std::string DescribeStretches(const std::vector<UnreadableStretch>& stretches);

}  // namespace keldrive
