#include "ntfs_builders.h"

#include <algorithm>
#include <cstring>

namespace keldrive::testing {
namespace {

void PutLittle(Bytes& b, std::size_t at, std::uint64_t value, std::size_t width) {
  if (b.size() < at + width) b.resize(at + width);
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t UnsignedBytes(std::uint64_t v) {
  std::size_t n = 1;
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  return n;
}

std::size_t SignedBytes(std::int64_t v) {
  for (std::size_t n = 1; n < 8; ++n) {
    const std::int64_t limit = std::int64_t{1} << (8 * n - 1);
    if (v >= -limit && v < limit) return n;
  }
  return 8;
}

Bytes Utf16Bytes(const std::u16string& text) {
  Bytes b;
  for (const char16_t c : text) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

std::size_t Align8(std::size_t n) {
  return (n + 7) & ~std::size_t{7};
}

}  // namespace

void Put16(Bytes& b, std::size_t at, std::uint64_t value) {
  PutLittle(b, at, value, 2);
}
void Put32(Bytes& b, std::size_t at, std::uint64_t value) {
  PutLittle(b, at, value, 4);
}
void Put64(Bytes& b, std::size_t at, std::uint64_t value) {
  PutLittle(b, at, value, 8);
}

Bytes EncodeRuns(std::initializer_list<Run> runs) {
  return EncodeRuns(std::vector<Run>(runs));
}

Bytes EncodeRuns(const std::vector<Run>& runs) {
  Bytes b;
  for (const Run& run : runs) {
    const std::size_t lengthBytes = UnsignedBytes(run.count);
    const std::size_t offsetBytes = run.sparse ? 0 : SignedBytes(run.delta);
    b.push_back(static_cast<std::uint8_t>(offsetBytes << 4 | lengthBytes));
    for (std::size_t i = 0; i < lengthBytes; ++i)
      b.push_back(static_cast<std::uint8_t>(run.count >> (8 * i)));
    const auto delta = static_cast<std::uint64_t>(run.delta);
    for (std::size_t i = 0; i < offsetBytes; ++i)
      b.push_back(static_cast<std::uint8_t>(delta >> (8 * i)));
  }
  b.push_back(0);
  return b;
}

Bytes ResidentAttribute(std::uint32_t type, const Bytes& value, const std::u16string& name) {
  const std::size_t nameOffset = 0x18;
  const std::size_t valueOffset = Align8(nameOffset + name.size() * 2);
  Bytes b(Align8(valueOffset + value.size()), 0);
  Put32(b, 0x00, type);
  Put32(b, 0x04, b.size());
  b[0x08] = 0;
  b[0x09] = static_cast<std::uint8_t>(name.size());
  Put16(b, 0x0A, nameOffset);
  Put32(b, 0x10, value.size());
  Put16(b, 0x14, valueOffset);
  const Bytes nameBytes = Utf16Bytes(name);
  std::copy(nameBytes.begin(), nameBytes.end(), b.begin() + nameOffset);
  std::copy(value.begin(), value.end(), b.begin() + static_cast<std::ptrdiff_t>(valueOffset));
  return b;
}

Bytes NonResidentAttribute(const NonResident& a) {
  const std::size_t nameOffset = 0x40;
  const std::size_t runsOffset = Align8(nameOffset + a.name.size() * 2);
  Bytes b(Align8(runsOffset + a.runList.size()), 0);
  Put32(b, 0x00, a.type);
  Put32(b, 0x04, b.size());
  b[0x08] = 1;
  b[0x09] = static_cast<std::uint8_t>(a.name.size());
  Put16(b, 0x0A, nameOffset);
  Put64(b, 0x10, a.lowestVcn);
  Put64(b, 0x18, a.highestVcn);
  Put16(b, 0x20, runsOffset);
  Put64(b, 0x28, a.allocatedSize);
  Put64(b, 0x30, a.realSize);
  Put64(b, 0x38, a.realSize);
  const Bytes nameBytes = Utf16Bytes(a.name);
  std::copy(nameBytes.begin(), nameBytes.end(), b.begin() + nameOffset);
  std::copy(a.runList.begin(), a.runList.end(),
            b.begin() + static_cast<std::ptrdiff_t>(runsOffset));
  return b;
}

Bytes FileNameValue(std::uint32_t parent, const std::u16string& name, std::uint8_t nameSpace,
                    std::uint64_t realSize) {
  Bytes b(0x42, 0);
  Put64(b, 0x00, parent | std::uint64_t{1} << 48);  // sequence number 1
  Put64(b, 0x08, 0x01D0000000000001);
  Put64(b, 0x10, 0x01D0000000000002);
  Put64(b, 0x18, 0x01D0000000000003);
  Put64(b, 0x20, 0x01D0000000000004);
  Put64(b, 0x30, realSize);
  b[0x40] = static_cast<std::uint8_t>(name.size());
  b[0x41] = nameSpace;
  const Bytes nameBytes = Utf16Bytes(name);
  b.insert(b.end(), nameBytes.begin(), nameBytes.end());
  return b;
}

Bytes AttributeListEntryBytes(std::uint32_t type, std::uint64_t startingVcn, std::uint64_t record,
                              const std::u16string& name, std::uint16_t length) {
  Bytes b(Align8(0x1A + name.size() * 2), 0);
  Put32(b, 0x00, type);
  Put16(b, 0x04, length != 0 ? length : b.size());
  b[0x06] = static_cast<std::uint8_t>(name.size());
  b[0x07] = 0x1A;
  Put64(b, 0x08, startingVcn);
  Put64(b, 0x10, record | std::uint64_t{1} << 48);
  const Bytes nameBytes = Utf16Bytes(name);
  std::copy(nameBytes.begin(), nameBytes.end(), b.begin() + 0x1A);
  return b;
}

RecordBuilder::RecordBuilder(std::uint32_t number, std::uint32_t recordSize, std::uint16_t flags)
    : number_(number), recordSize_(recordSize), flags_(flags) {}

RecordBuilder& RecordBuilder::Add(const Bytes& attribute) {
  attributes_.push_back(attribute);
  return *this;
}

RecordBuilder& RecordBuilder::BaseRecord(std::uint64_t base) {
  base_ = base;
  return *this;
}

RecordBuilder& RecordBuilder::UpdateSequenceAt(std::uint16_t offset) {
  sequenceOffset_ = offset;
  return *this;
}

Bytes RecordBuilder::Build() const {
  constexpr std::uint16_t kSequenceNumber = 0x0007;
  const std::size_t blocks = recordSize_ / 512;
  Bytes b(recordSize_, 0);
  std::memcpy(b.data(), "FILE", 4);
  const std::size_t usa = sequenceOffset_;
  Put16(b, 0x04, usa);
  Put16(b, 0x06, blocks + 1);
  Put16(b, 0x10, 1);
  Put16(b, 0x12, 1);
  const std::size_t first = Align8(usa + 2 + blocks * 2);
  Put16(b, 0x14, first);
  Put16(b, 0x16, flags_);
  Put32(b, 0x1C, recordSize_);
  Put64(b, 0x20, base_);
  if (usa >= 0x30) Put32(b, 0x2C, number_);
  std::size_t at = first;
  for (const Bytes& a : attributes_) {
    std::copy(a.begin(), a.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    at += a.size();
  }
  Put32(b, at, 0xFFFFFFFF);
  Put32(b, 0x18, at + 8);
  b.resize(recordSize_);
  Put16(b, usa, kSequenceNumber);
  for (std::size_t i = 1; i <= blocks; ++i) {
    const std::size_t end = i * 512;
    b[usa + 2 * i] = b[end - 2];
    b[usa + 2 * i + 1] = b[end - 1];
    Put16(b, end - 2, kSequenceNumber);
  }
  return b;
}

VolumeBuilder::VolumeBuilder(std::size_t bytes, std::uint16_t sectorBytes,
                             std::uint8_t clusterSectors, std::uint64_t mftCluster)
    : image(bytes, 0), bytesPerSector(sectorBytes), sectorsPerCluster(clusterSectors) {
  std::memcpy(image.data() + 3, "NTFS    ", 8);
  Put16(image, 0x0B, sectorBytes);
  image[0x0D] = clusterSectors;
  Put64(image, 0x28, bytes / sectorBytes - 1);
  Put64(image, 0x30, mftCluster);
  image[510] = 0x55;
  image[511] = 0xAA;
}

void VolumeBuilder::PutRecord(std::uint64_t sector, const Bytes& record) {
  PutBytes(sector * bytesPerSector, record);
}

void VolumeBuilder::PutBytes(std::uint64_t offset, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace keldrive::testing
