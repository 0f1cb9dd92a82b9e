#include "ntfs/data_run.h"

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kMaxFieldBytes = 7;

// A little-endian two's-complement integer of 1 to 8 bytes.
std::int64_t SignExtend(std::uint64_t value, std::size_t bytes) {
  if (bytes == 0) return 0;
  const unsigned bits = static_cast<unsigned>(bytes * 8);
  if (bits < 64 && (value >> (bits - 1)) != 0) value |= ~std::uint64_t{0} << bits;
  return static_cast<std::int64_t>(value);
}

std::uint64_t ReadField(ByteReader& r, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value |= std::uint64_t{r.u8()} << (8 * i);
  return value;
}

}  // namespace

bool AddClusterDelta(std::int64_t& cluster, std::int64_t delta) {
  return !__builtin_add_overflow(cluster, delta, &cluster);
}

ParseStatus DecodeRunList(std::span<const std::uint8_t> runList, std::vector<DataRun>& runs) {
  ByteReader r(runList);
  while (r.remaining() != 0) {
    const std::uint8_t header = r.u8();
    if (header == 0) return ParseStatus::kOk;
    const std::size_t lengthBytes = header & 0x0F;
    const std::size_t offsetBytes = header >> 4;
    if (lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes ||
        lengthBytes + offsetBytes > r.remaining()) {
      return ParseStatus::kDamaged;
    }
    DataRun run;
    run.clusterCount = static_cast<std::uint32_t>(ReadField(r, lengthBytes));
    run.clusterDelta = SignExtend(ReadField(r, offsetBytes), offsetBytes);
    if (offsetBytes == 0) run.flags = kRunSparse;
    runs.push_back(run);
  }
  return ParseStatus::kOk;
}

ParseStatus DecodeDataRuns(const Attribute& attribute, std::vector<DataRun>& runs) {
  if (!attribute.header.nonResident) return ParseStatus::kNotThisStructure;
  const std::size_t offset = attribute.header.runListOffset;
  if (offset > attribute.bytes.size()) return ParseStatus::kDamaged;
  return DecodeRunList(attribute.bytes.subspan(offset), runs);
}

bool AppendExtentRuns(std::vector<DataRun>& runs, std::int64_t& summed,
                      std::span<const DataRun> extent) {
  std::vector<DataRun> rebased(extent.begin(), extent.end());
  std::int64_t extentSum = 0;
  bool placed = false;
  for (DataRun& run : rebased) {
    if (!AddClusterDelta(extentSum, run.clusterDelta)) return false;
    // Sparse runs before the first placed one stay at the preceding clusters.
    if (placed || run.clusterDelta == 0) continue;
    if (__builtin_sub_overflow(run.clusterDelta, summed, &run.clusterDelta)) return false;
    placed = true;
  }
  // The sum over the joined list is the extent's own sum: its first placed run now
  // carries the difference.
  if (placed) summed = extentSum;
  runs.insert(runs.end(), rebased.begin(), rebased.end());
  return true;
}

}  // namespace keldrive
