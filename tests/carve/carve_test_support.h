#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "carve/carve_context.h"
#include "carve/identify.h"
#include "disk/sector_device.h"
#include "platform/memory_medium.h"

namespace keldrive::testing {

// A device over bytes held in memory; `medium` stays reachable to make reads fail.
struct MemoryDevice {
  SectorDevice device;
  platform::MemoryMedium* medium = nullptr;

  explicit MemoryDevice(std::vector<std::uint8_t> bytes) {
    auto owned = std::make_unique<platform::MemoryMedium>(std::move(bytes));
    medium = owned.get();
    AttachImage(device, std::move(owned));
  }
  std::span<const std::uint8_t> Sector(std::uint64_t sector) const {
    return std::span<const std::uint8_t>(medium->Bytes()).subspan(sector * 512, 512);
  }
};

// Identifies the sector at `sector` of `device` with 512-byte sectors.
inline ResultCode Identify(CarveContext& context, MemoryDevice& device, std::uint64_t sector,
                           CarvedFileHit& hit) {
  CarveCandidate candidate{.medium = &device.device,
                           .sectorSize = 512,
                           .sector = device.Sector(sector),
                           .hitSector = sector,
                           .totalSectors = device.device.totalSectors};
  return IdentifyAndSize(context, candidate, hit);
}

// Bytes written field by field.
inline void Put(std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& text) {
  if (bytes.size() < at + text.size()) bytes.resize(at + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) bytes[at + i] = static_cast<std::uint8_t>(text[i]);
}
inline void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
                  std::size_t width) {
  if (bytes.size() < at + width) bytes.resize(at + width);
  for (std::size_t i = 0; i < width; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void PutBe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
                  std::size_t width) {
  if (bytes.size() < at + width) bytes.resize(at + width);
  for (std::size_t i = 0; i < width; ++i) {
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  }
}

}  // namespace keldrive::testing
