#include <algorithm>
#include <limits>

#include "carve/header_tests.h"
#include "carve/size_rules.h"
#include "disk/checked_math.h"

namespace keldrive {
namespace {

constexpr std::size_t kPacketBytes = 188;
constexpr std::uint8_t kSyncByte = 0x47;
constexpr std::size_t kProbeBytes = 4096;
// Packets that must follow in sync in the first 4096 bytes.
constexpr std::size_t kPacketsInProbe = 22;
constexpr std::uint64_t kStreamLimit = 64 * kGiB;

bool PacketStartsInSync(Bytes bytes, std::size_t packets) {
  ByteReader r(bytes);
  for (std::size_t i = 0; i < packets; ++i) {
    if (r.u8At(i * kPacketBytes) != kSyncByte || !r.ok()) return false;
  }
  return true;
}

// Whether the sector before the cursor holds packet starts that run into it, so that the
// candidate continues a stream instead of beginning one.
bool ContinuesStream(SectorProbe& probe) {
  if (probe.cursorSector == 0) return false;
  const Bytes previous = probe.ReadSectors(probe.cursorSector - 1, 1);
  const std::size_t sectorBytes = previous.size();
  for (std::size_t j = 1; j * kPacketBytes <= sectorBytes; ++j) {
    if (previous[sectorBytes - j * kPacketBytes] == kSyncByte) return true;
  }
  return false;
}

}  // namespace

FileTypeCode TestTransportStream(SectorProbe& probe, Bytes s) {
  if (s.size() < kPacketBytes || s[0] != kSyncByte || (s[1] == 0 && s[2] == 0 && s[3] == 0)) {
    return FileTypeCode::kNone;
  }
  if (!PacketStartsInSync(s, (s.size() + kPacketBytes - 1) / kPacketBytes)) {
    return FileTypeCode::kNone;
  }
  if (probe.sectorSize <= 0) return FileTypeCode::kNone;
  const auto sectors =
      std::max<std::int32_t>(1, static_cast<std::int32_t>(kProbeBytes) / probe.sectorSize);
  const Bytes head = probe.ReadSectors(probe.cursorSector, sectors);
  if (!PacketStartsInSync(head.first(std::min(head.size(), kProbeBytes)), kPacketsInProbe)) {
    return FileTypeCode::kNone;
  }
  if (probe.previousWasTs && ContinuesStream(probe)) return FileTypeCode::kNone;
  // A stream carved earlier in this scan is not carved again from inside.
  if (probe.tsRanges.Contains(probe.cursorSector)) return FileTypeCode::kNone;
  return FileTypeCode::kTs;
}

std::uint64_t SizeTransportStream(CarveContext& context, Bytes sector) {
  // Packets lie on a 188-byte grid from the file start; the first one out of sync ends the
  // stream. Packets cut by a chunk boundary are not judged.
  std::optional<std::uint64_t> failed;
  std::optional<std::uint64_t> lastChecked;
  const std::uint64_t extent = ExtendUntilBoundary(
      context, sector, kStreamLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const Bytes bytes = chunk.Chunk();
        const std::uint64_t chunkStart = chunk.FileOffset(chunk.lead);
        const std::uint64_t chunkEnd = chunkStart + bytes.size();
        std::uint64_t packet = (chunkStart + kPacketBytes - 1) / kPacketBytes * kPacketBytes;
        for (; packet + kPacketBytes <= chunkEnd; packet += kPacketBytes) {
          if (bytes[static_cast<std::size_t>(packet - chunkStart)] != kSyncByte) {
            // Nothing read later can move the end past this packet.
            failed = packet;
            return std::min(chunk.extent, packet);
          }
          lastChecked = packet;
        }
        return std::nullopt;
      });

  std::uint64_t size = extent;
  if (failed) {
    size = std::min(size, *failed);
  } else if (lastChecked) {
    size = std::min(size, *lastChecked + kPacketBytes);
  }
  const auto sectorBytes = static_cast<std::uint64_t>(context.probe.sectorSize);
  if (size != 0 && sectorBytes != 0) {
    const std::uint64_t sectors = (size + sectorBytes - 1) / sectorBytes;
    const std::uint64_t hit = context.probe.hitSector;
    const std::uint64_t last =
        CheckedAdd64(hit, sectors - 1).value_or(std::numeric_limits<std::uint64_t>::max());
    context.probe.tsRanges.Add({hit, last});
  }
  return size;
}

}  // namespace keldrive
