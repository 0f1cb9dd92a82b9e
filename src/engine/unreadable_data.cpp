#include "engine/unreadable_data.h"

namespace keldrive {
namespace {

thread_local UnreadableDataLog* current = nullptr;

}  // namespace

UnreadableDataLog::UnreadableDataLog() : outer_(current) {
  current = this;
}

UnreadableDataLog::~UnreadableDataLog() {
  current = outer_;
}

const std::vector<UnreadableStretch>& UnreadableDataLog::Of(const std::string& path) const {
  static const std::vector<UnreadableStretch> kNone;
  const auto it = files_.find(path);
  return it == files_.end() ? kNone : it->second;
}

void BeginWrittenFile(const std::string& path) {
  if (current == nullptr) return;
  current->current_ = path;
  current->files_.erase(path);  // a file written again starts afresh
}

void ReportUnreadableStretch(std::uint64_t offset, std::uint64_t length) {
  if (current == nullptr || length == 0) return;
  auto& stretches = current->files_[current->current_];
  if (!stretches.empty() && stretches.back().offset + stretches.back().length == offset) {
    stretches.back().length += length;
  } else {
    stretches.push_back({offset, length});
  }
}

std::string DescribeStretches(const std::vector<UnreadableStretch>& stretches) {
  constexpr std::size_t kShown = 8;
  std::string text = "bytes ";
  for (std::size_t i = 0; i < stretches.size() && i < kShown; ++i) {
    if (i != 0) text += ", ";
    text += std::to_string(stretches[i].offset) + "-" +
            std::to_string(stretches[i].offset + stretches[i].length - 1);
  }
  if (stretches.size() > kShown) text += ", ...";
  return text;
}

}  // namespace keldrive
