#include "carve/signature_table.h"

#include <algorithm>

namespace keldrive {
namespace {

// Codes index this array directly; each holds its first row, or kSignatureRowCount.
constexpr std::array<std::size_t, kFileTypeCodeCount> kNamingRows = [] {
  std::array<std::size_t, kFileTypeCodeCount> rows{};
  rows.fill(kSignatureRowCount);
  for (std::size_t i = kSignatureRowCount; i-- > 0;) {
    rows[static_cast<std::size_t>(kSignatureTable[i].code)] = i;
  }
  return rows;
}();

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

const SignatureRow* NamingRow(FileTypeCode code) {
  const auto index = static_cast<std::size_t>(code);
  if (index >= kNamingRows.size() || kNamingRows[index] == kSignatureRowCount) return nullptr;
  return &kSignatureTable[kNamingRows[index]];
}

const SignatureRow* FindRowByExtension(std::string_view extension) {
  for (std::size_t i = 0; i < kSignatureRowCount; ++i) {
    const std::string_view candidate = kSignatureTable[i].extension;
    if (candidate.size() == extension.size() &&
        std::equal(candidate.begin(), candidate.end(), extension.begin(),
                   [](char a, char b) { return a == Lower(b); })) {
      return &kSignatureTable[i];
    }
  }
  return nullptr;
}

}  // namespace keldrive
