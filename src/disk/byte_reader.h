#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keldrive {

// The one way on-disk bytes are read. Every read is bounds-checked: a read past the end
// returns 0 (or an empty span), consumes nothing and sets a sticky failure, so a group of
// fields can be read and checked once with ok(). Integers are little-endian unless the
// name says otherwise.
class ByteReader {
 public:
  constexpr ByteReader() = default;
  constexpr explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  constexpr bool ok() const { return ok_; }
  constexpr std::size_t size() const { return bytes_.size(); }
  constexpr std::size_t position() const { return position_; }
  constexpr std::size_t remaining() const { return bytes_.size() - position_; }

  constexpr std::uint8_t u8() { return static_cast<std::uint8_t>(ReadLittle(1)); }
  constexpr std::uint16_t le16() { return static_cast<std::uint16_t>(ReadLittle(2)); }
  constexpr std::uint32_t le32() { return static_cast<std::uint32_t>(ReadLittle(4)); }
  constexpr std::uint64_t le64() { return ReadLittle(8); }
  constexpr std::uint16_t be16() { return static_cast<std::uint16_t>(ReadBig(2)); }
  constexpr std::uint32_t be32() { return static_cast<std::uint32_t>(ReadBig(4)); }

  // The next n bytes, or an empty span (and failure) when fewer remain.
  constexpr std::span<const std::uint8_t> bytes(std::size_t n) {
    if (!Has(n)) return {};
    const auto out = bytes_.subspan(position_, n);
    position_ += n;
    return out;
  }

  constexpr void skip(std::size_t n) {
    if (Has(n)) position_ += n;
  }

  constexpr void seek(std::size_t offset) {
    if (offset <= bytes_.size()) {
      position_ = offset;
    } else {
      ok_ = false;
    }
  }

  // A reader over the bytes from `offset` to the end; failed and empty when the offset
  // lies beyond them.
  constexpr ByteReader at(std::size_t offset) const {
    return at(offset, offset <= bytes_.size() ? bytes_.size() - offset : 0);
  }

  // A reader over `length` bytes from `offset`; failed and empty when they are not all here.
  constexpr ByteReader at(std::size_t offset, std::size_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
      ByteReader failed;
      failed.ok_ = false;
      return failed;
    }
    return ByteReader(bytes_.subspan(offset, length));
  }

  // Field reads at fixed offsets, for on-disk tables given as offset lists.
  // They do not move the position; a field beyond the bytes sets the failure.
  constexpr std::uint8_t u8At(std::size_t offset) {
    return static_cast<std::uint8_t>(Fetch(offset, 1));
  }
  constexpr std::uint16_t le16At(std::size_t offset) {
    return static_cast<std::uint16_t>(Fetch(offset, 2));
  }
  constexpr std::uint32_t le32At(std::size_t offset) {
    return static_cast<std::uint32_t>(Fetch(offset, 4));
  }
  constexpr std::uint64_t le64At(std::size_t offset) { return Fetch(offset, 8); }

 private:
  constexpr bool Has(std::size_t n) {
    if (!ok_ || n > remaining()) {
      ok_ = false;
      return false;
    }
    return true;
  }

  constexpr std::uint64_t ReadLittle(std::size_t n) {
    if (!Has(n)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      value |= static_cast<std::uint64_t>(bytes_[position_ + i]) << (8 * i);
    }
    position_ += n;
    return value;
  }

  constexpr std::uint64_t ReadBig(std::size_t n) {
    if (!Has(n)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i) value = (value << 8) | bytes_[position_ + i];
    position_ += n;
    return value;
  }

  constexpr std::uint64_t Fetch(std::size_t offset, std::size_t n) {
    ByteReader field = at(offset, n);
    const std::uint64_t value = field.ReadLittle(n);
    if (!field.ok_) ok_ = false;
    return value;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace keldrive
