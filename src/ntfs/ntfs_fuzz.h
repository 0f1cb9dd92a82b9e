#pragma once

#include <cstdint>
#include <span>

namespace keldrive {

// Entry points for fuzz targets, one per layer of the NTFS structures. Each takes any bytes
// and runs every parser of its layer over them; none may crash or read outside them.

// The bytes as a boot sector, and the geometry made from it.
void FuzzNtfsBootSector(std::span<const std::uint8_t> bytes);

// The bytes as one file record: header, update sequence, both attribute walks, and every
// attribute's name, value, file name, run list and attribute-list entries.
void FuzzNtfsFileRecord(std::span<const std::uint8_t> bytes);

// The bytes as an encoded run list.
void FuzzNtfsRunList(std::span<const std::uint8_t> bytes);

// The bytes as a volume image in memory: boot sector, the MFT's runs, and the data runs and
// resident data of its first records, attribute lists followed.
void FuzzNtfsVolume(std::span<const std::uint8_t> bytes);

}  // namespace keldrive
