#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace keldrive::cli {

// A one-line progress display on a terminal, redrawn at most ten times a second; silent
// when standard error is not a terminal, so scripts and logs get clean output.
class ProgressBar {
 public:
  ProgressBar(std::ostream& out, bool enabled, int columns = 80);
  ~ProgressBar();

  // `fraction` from 0 to 1, or negative when unknown; `text` follows the bar.
  void Update(double fraction, const std::string& text, std::int32_t remainingSeconds = -1);
  // Clears the line.
  void Finish();

 private:
  std::ostream& out_;
  bool enabled_;
  int columns_;
  std::uint64_t lastDrawMs_ = 0;
  bool drawn_ = false;
};

}  // namespace keldrive::cli
