#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace keldrive::platform {

enum class DigestAlgorithm { kMd5, kSha256 };

// A running hash computed by the system's cryptography (OpenSSL on Linux, CNG on Windows),
// so the layers above need no library of their own for it.
class DigestContext {
 public:
  explicit DigestContext(DigestAlgorithm algorithm);
  ~DigestContext();
  DigestContext(const DigestContext&) = delete;
  DigestContext& operator=(const DigestContext&) = delete;

  void Add(std::span<const std::uint8_t> bytes);
  // The digest's bytes; the context takes no more bytes afterwards.
  std::vector<std::uint8_t> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace keldrive::platform
