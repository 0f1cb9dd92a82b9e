#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/result_code.h"

namespace keldrive {

enum class DigestKind { kSha256, kMd5 };

// "sha256" or "md5", as DFXML's hashdigest names them.
std::string_view DigestName(DigestKind kind);
// The kind a name gives ("sha256", "md5", any case); nothing for another name.
std::optional<DigestKind> ParseDigestName(std::string_view name);

// A running hash of a file's bytes, computed by the platform's cryptography.
class FileDigest {
 public:
  explicit FileDigest(DigestKind kind);
  ~FileDigest();
  FileDigest(const FileDigest&) = delete;
  FileDigest& operator=(const FileDigest&) = delete;

  void Add(std::span<const std::uint8_t> bytes);
  // The digest in lower-case hexadecimal; the hash cannot take more bytes afterwards.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The digest of a whole file on disk, in lower-case hexadecimal. Returns 0 or the error of
// opening or reading it.
ResultCode DigestOfFile(const std::string& path, DigestKind kind, std::string& hex);

}  // namespace keldrive
