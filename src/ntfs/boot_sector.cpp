#include "ntfs/boot_sector.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kSystemNameOffset = 0x03;
constexpr std::string_view kSystemName = "NTFS    ";
constexpr std::size_t kBytesPerSectorOffset = 0x0B;
constexpr std::size_t kSectorsPerClusterOffset = 0x0D;
constexpr std::size_t kTotalSectorsOffset = 0x28;
constexpr std::size_t kMftClusterOffset = 0x30;
constexpr std::size_t kMftMirrorClusterOffset = 0x38;

}  // namespace

ParseStatus ParseNtfsBootSector(std::span<const std::uint8_t> bytes, NtfsBootSector& out) {
  if (bytes.size() < kNtfsBootSectorBytes) return ParseStatus::kDamaged;
  ByteReader r(bytes);
  const auto name = r.at(kSystemNameOffset).bytes(kSystemName.size());
  if (!std::equal(name.begin(), name.end(), kSystemName.begin(), kSystemName.end())) {
    return ParseStatus::kNotThisStructure;
  }
  const std::uint16_t bytesPerSector = r.le16At(kBytesPerSectorOffset);
  out.bytesPerSector = bytesPerSector != 0 ? bytesPerSector : 512;
  out.sectorsPerCluster = r.u8At(kSectorsPerClusterOffset);
  out.mftCluster = r.le64At(kMftClusterOffset);
  out.totalSectors = r.le64At(kTotalSectorsOffset);
  out.mftMirrorCluster = r.le64At(kMftMirrorClusterOffset);
  if (!r.ok() || out.sectorsPerCluster == 0) return ParseStatus::kDamaged;
  return ParseStatus::kOk;
}

ResultCode ReadNtfsBootSector(SectorDevice& device, std::uint64_t partitionStart,
                              std::uint32_t deviceSectorBytes, NtfsBootSector& out) {
  if (deviceSectorBytes == 0 || deviceSectorBytes > kReadPieceBytes) {
    return result::kInvalidParameter;
  }
  const std::uint32_t sectors = std::max<std::uint32_t>(1, kNtfsBootReadBytes / deviceSectorBytes);
  std::vector<std::uint8_t> buffer(std::size_t{sectors} * deviceSectorBytes);
  std::int32_t got = 0;
  if (const ResultCode rc =
          ReadSectors(device, buffer, partitionStart, static_cast<std::int32_t>(sectors),
                      static_cast<std::int32_t>(deviceSectorBytes), got);
      rc != result::kSuccess) {
    return rc;
  }
  return ParseNtfsBootSector(buffer, out) == ParseStatus::kOk ? result::kSuccess
                                                              : result::kInvalidParameter;
}

}  // namespace keldrive
