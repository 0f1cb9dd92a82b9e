#include "platform/digest.h"

#include <openssl/evp.h>

namespace keldrive::platform {

struct DigestContext::State {
  EVP_MD_CTX* context = nullptr;
};

DigestContext::DigestContext(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(state_->context,
                    algorithm == DigestAlgorithm::kSha256 ? EVP_sha256() : EVP_md5(), nullptr);
}

DigestContext::~DigestContext() {
  EVP_MD_CTX_free(state_->context);
}

void DigestContext::Add(std::span<const std::uint8_t> bytes) {
  EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

std::vector<std::uint8_t> DigestContext::Finish() {
  std::vector<std::uint8_t> value(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, value.data(), &length);
  value.resize(length);
  return value;
}

}  // namespace keldrive::platform
