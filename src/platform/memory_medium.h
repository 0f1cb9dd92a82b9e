#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/medium.h"

namespace keldrive::platform {

// A medium held in memory, for tests and fuzzing: engines read it exactly as they read a
// disk. It can fail reads at chosen sectors the way a damaged disk does (the bytes before
// the bad sector arrive, the next read fails), fail its size or geometry queries, and
// deliver reads in short pieces.
class MemoryMedium final : public Medium {
 public:
  explicit MemoryMedium(std::vector<std::uint8_t> bytes, std::string name = "memory");

  ResultCode ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override;
  ResultCode QuerySize(std::uint64_t& bytes) override;
  ResultCode QueryGeometry(DiskGeometry& geometry) override;
  std::string Name() const override { return name_; }

  std::vector<std::uint8_t>& Bytes() { return bytes_; }

  // Reads touching this sector (in units of failSectorSize bytes) fail with kReadFault.
  void FailSector(std::uint64_t sector) { failingSectors_.insert(sector); }
  void SetFailSectorSize(std::uint32_t bytes) { failSectorSize_ = bytes; }
  // Every read delivers at most this many bytes (0: no limit).
  void SetMaxPieceBytes(std::size_t bytes) { maxPieceBytes_ = bytes; }
  // The geometry to report; without one, a 512-byte-sector geometry around the bytes.
  void SetGeometry(const DiskGeometry& geometry) {
    geometry_ = geometry;
    hasGeometry_ = true;
  }
  void FailSizeQuery(ResultCode code) { sizeError_ = code; }
  void FailGeometryQuery(ResultCode code) { geometryError_ = code; }

  // The size of every ReadAt request, in order.
  const std::vector<std::size_t>& ReadRequests() const { return readRequests_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::string name_;
  std::set<std::uint64_t> failingSectors_;
  std::uint32_t failSectorSize_ = 512;
  std::size_t maxPieceBytes_ = 0;
  DiskGeometry geometry_{};
  bool hasGeometry_ = false;
  ResultCode sizeError_ = result::kSuccess;
  ResultCode geometryError_ = result::kSuccess;
  std::vector<std::size_t> readRequests_;
};

}  // namespace keldrive::platform
