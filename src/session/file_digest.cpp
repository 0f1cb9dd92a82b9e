#include "session/file_digest.h"

#include <cctype>
#include <vector>

#include "platform/digest.h"
#include "platform/file_handle.h"

namespace keldrive {

struct FileDigest::State {
  explicit State(platform::DigestAlgorithm algorithm) : context(algorithm) {}
  platform::DigestContext context;
};

std::string_view DigestName(DigestKind kind) {
  return kind == DigestKind::kSha256 ? "sha256" : "md5";
}

std::optional<DigestKind> ParseDigestName(std::string_view name) {
  std::string lower;
  for (const char c : name) {
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (lower == "sha256") return DigestKind::kSha256;
  if (lower == "md5") return DigestKind::kMd5;
  return std::nullopt;
}

FileDigest::FileDigest(DigestKind kind)
    : state_(std::make_unique<State>(kind == DigestKind::kSha256
                                         ? platform::DigestAlgorithm::kSha256
                                         : platform::DigestAlgorithm::kMd5)) {}

FileDigest::~FileDigest() = default;

void FileDigest::Add(std::span<const std::uint8_t> bytes) {
  state_->context.Add(bytes);
}

std::string FileDigest::FinishHex() {
  constexpr std::string_view kHex = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : state_->context.Finish()) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

ResultCode DigestOfFile(const std::string& path, DigestKind kind, std::string& hex) {
  hex.clear();
  platform::FileHandle file;
  if (const ResultCode rc = platform::FileHandle::OpenReadOnly(path, file);
      rc != result::kSuccess) {
    return rc;
  }
  FileDigest digest(kind);
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint64_t offset = 0;
  while (true) {
    std::size_t got = 0;
    if (const ResultCode rc = file.ReadAt(offset, buffer, got); rc != result::kSuccess) return rc;
    if (got == 0) break;
    digest.Add(std::span(buffer).first(got));
    offset += got;
  }
  hex = digest.FinishHex();
  return result::kSuccess;
}

}  // namespace keldrive
