#include "cli/progress_bar.h"

#include <algorithm>

#include "app/formatting.h"
#include "platform/clock.h"

namespace keldrive::cli {

ProgressBar::ProgressBar(std::ostream& out, bool enabled, int columns)
    : out_(out), enabled_(enabled), columns_(std::max(columns, 40)) {}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::Update(double fraction, const std::string& text, std::int32_t remainingSeconds) {
  if (!enabled_) return;
  const std::uint64_t now = platform::MonotonicMilliseconds();
  if (drawn_ && now - lastDrawMs_ < 100) return;
  lastDrawMs_ = now;
  constexpr int kBarWidth = 24;
  std::string line = "[";
  if (fraction >= 0) {
    const int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kBarWidth);
    line += std::string(static_cast<std::size_t>(filled), '#');
    line += std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] " + std::to_string(static_cast<int>(fraction * 100)) + "% ";
  } else {
    // Unknown length: a marker that moves back and forth.
    const int position = static_cast<int>(now / 120 % (2 * kBarWidth - 2));
    const int at = position < kBarWidth ? position : 2 * kBarWidth - 2 - position;
    std::string track(static_cast<std::size_t>(kBarWidth), '.');
    track[static_cast<std::size_t>(at)] = '#';
    line += track + "] ";
  }
  line += text;
  if (remainingSeconds >= 0) line += ", " + FormatDuration(remainingSeconds) + " left";
  if (static_cast<int>(line.size()) >= columns_)
    line.resize(static_cast<std::size_t>(columns_ - 1));
  out_ << '\r' << line << "\x1b[K" << std::flush;
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (enabled_ && drawn_) out_ << "\r\x1b[K" << std::flush;
  drawn_ = false;
}

}  // namespace keldrive::cli
