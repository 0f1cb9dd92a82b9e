#include "platform/digest.h"

#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

namespace keldrive::platform {

struct DigestContext::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ULONG length = 0;
};

DigestContext::DigestContext(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  const wchar_t* name =
      algorithm == DigestAlgorithm::kSha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM;
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, name, nullptr, 0) != 0) return;
  ULONG written = 0;
  BCryptGetProperty(state_->algorithm, BCRYPT_HASH_LENGTH,
                    reinterpret_cast<PUCHAR>(&state_->length), sizeof state_->length, &written, 0);
  // The provider keeps the hash object's memory itself when given none.
  if (BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0) {
    state_->hash = nullptr;
  }
}

DigestContext::~DigestContext() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void DigestContext::Add(std::span<const std::uint8_t> bytes) {
  if (state_->hash == nullptr) return;
  // BCryptHashData takes at most 4 GiB at a time.
  while (!bytes.empty()) {
    const std::size_t piece = bytes.size() < 0x40000000u ? bytes.size() : 0x40000000u;
    BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(piece), 0);
    bytes = bytes.subspan(piece);
  }
}

std::vector<std::uint8_t> DigestContext::Finish() {
  if (state_->hash == nullptr) return {};
  std::vector<std::uint8_t> value(state_->length);
  if (BCryptFinishHash(state_->hash, value.data(), state_->length, 0) != 0) return {};
  return value;
}

}  // namespace keldrive::platform
