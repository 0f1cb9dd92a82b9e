#include "ntfs/ntfs_file_reader.h"

#include <algorithm>
#include <cstdint>

#include "engine/file_category.h"
#include "engine/unreadable_data.h"
#include "ntfs/attribute.h"
#include "ntfs/data_stream.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kPieceBytes = 64 * 1024;

// The named stream a found file stands for: the text after the last ":" of its name, when
// its record has a data attribute of that name; else none, the file's own data.
std::string StreamOf(SectorDevice& device, const NtfsGeometry& geometry, const FoundFile& record) {
  const auto stream = StreamNameOf(record.Name());
  if (!stream) return {};
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  if (ReadFileRecord(device, geometry, record.entrySector, block, header) != result::kSuccess) {
    return {};
  }
  AttributeWalk walk = AttributeWalk::OfRecord(block, header, geometry.recordSize);
  Attribute a;
  while (walk.Next(a)) {
    if (IsStreamAttribute(a, stream)) return *stream;
  }
  return {};
}

}  // namespace

ResultCode CopyNtfsFileData(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            std::uint64_t limit, const DataSink& sink, const PieceReport& report,
                            AttributeListHandling lists) {
  const std::uint64_t total = std::min(record.size, limit);
  const std::string stream = StreamOf(device, geometry, record);
  std::vector<std::uint8_t> value;
  const ResultCode resident = ReadResidentData(device, geometry, record.entrySector, value, stream);
  if (resident == result::kSuccess) {
    // The value is padded to 8 bytes; only the file's own bytes are written.
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(total, value.size()));
    ResultCode rc = sink(std::span(value).first(n));
    if (rc == result::kSuccess && n < total) rc = result::kReadFault;
    return report(100, rc);
  }
  if (resident != ntfs_result::kNoResidentData) return report(100, resident);

  std::vector<DataRun> runs;
  const ResultCode found = ReadAttributeRuns(device, geometry, mftRuns, record.entrySector,
                                             attribute_type::kData, runs, lists, stream);
  if (found != result::kSuccess) return report(100, found);
  if (total == 0) return report(100, result::kSuccess);

  const std::uint32_t bps = geometry.bytesPerSector;
  const std::uint64_t clusterBytes = geometry.ClusterBytes();
  std::vector<std::uint8_t> piece(kPieceBytes);
  std::vector<std::uint32_t> unreadable;
  bool damaged = false;
  std::uint64_t written = 0;
  std::int64_t cluster = 0;
  for (const DataRun& run : runs) {
    if (!AddClusterDelta(cluster, run.clusterDelta)) return report(100, result::kReadFault);
    std::uint64_t runBytes = run.clusterCount * clusterBytes;
    std::uint64_t runSector = 0;
    if (run.flags != kRunSparse && !ClusterToSector(geometry, cluster, runSector)) {
      return report(100, result::kReadFault);
    }
    std::uint64_t done = 0;
    while (runBytes > 0 && written < total) {
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(runBytes, kPieceBytes));
      std::uint32_t got = n;
      ResultCode rc = result::kSuccess;
      if (run.flags == kRunSparse) {
        std::fill_n(piece.begin(), n, std::uint8_t{0});
      } else {
        std::int32_t sectors = 0;
        rc = ReadSectors(device, std::span(piece).first(n), runSector + done / bps,
                         static_cast<std::int32_t>(n / bps), static_cast<std::int32_t>(bps),
                         sectors, unreadable);
        if (rc != result::kSuccess && rc != result::kReadFault) return report(100, rc);
        // Unreadable sectors are zeros in the file, reported with where they lie in it.
        for (const std::uint32_t bad : unreadable) {
          const std::uint64_t at = written + std::uint64_t{bad} * bps;
          if (at >= total) break;
          ReportUnreadableStretch(at, std::min<std::uint64_t>(bps, total - at));
          damaged = true;
        }
        rc = result::kSuccess;
      }
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(got, total - written));
      ResultCode current = sink(std::span(piece).first(take));
      if (current == result::kSuccess) {
        written += take;
        current = rc;
      }
      current = report(static_cast<std::int32_t>(written * 100 / total), current);
      if (current != result::kSuccess) return current;
      done += got;
      runBytes -= got;
    }
    if (written >= total) return damaged ? report(100, result::kDataError) : result::kSuccess;
  }
  // The runs end before the file does: the rest of its data is not known.
  return report(100, result::kReadFault);
}

std::uint32_t NtfsContentOk(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            const ContentCheck& check, AttributeListHandling lists) {
  const std::string extension = ExtensionOf(record.Name());
  const std::string stream = StreamOf(device, geometry, record);
  std::vector<std::uint8_t> value;
  const ResultCode resident = ReadResidentData(device, geometry, record.entrySector, value, stream);
  if (resident == result::kSuccess) {
    if (value.empty()) return 0;
    if (extension.empty() || !check) return 1;
    return check(extension, value, device, geometry.bytesPerSector, record.entrySector) ? 1 : 0;
  }
  if (extension.empty() || !check) return 1;
  std::vector<DataRun> runs;
  if (ReadAttributeRuns(device, geometry, mftRuns, record.entrySector, attribute_type::kData, runs,
                        lists, stream) != result::kSuccess ||
      runs.empty() || runs.front().flags == kRunSparse) {
    return 1;
  }
  std::uint64_t sector = 0;
  if (!ClusterToSector(geometry, runs.front().clusterDelta, sector) || sector == 0) return 1;
  std::vector<std::uint8_t> bytes(geometry.bytesPerSector);
  std::int32_t got = 0;
  if (ReadSectors(device, bytes, sector, 1, static_cast<std::int32_t>(geometry.bytesPerSector),
                  got) != result::kSuccess ||
      got != 1) {
    return 1;
  }
  return check(extension, bytes, device, geometry.bytesPerSector, sector) ? 1 : 0;
}

ByteRunsAnswer NtfsByteRuns(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            std::vector<ByteRun>& runs, AttributeListHandling lists) {
  runs.clear();
  // These are the unnamed data attribute's runs: a named stream's are not told.
  if (StreamNameOf(record.Name())) return ByteRunsAnswer::kUnknown;
  std::vector<std::uint8_t> value;
  const ResultCode resident = ReadResidentData(device, geometry, record.entrySector, value);
  if (resident == result::kSuccess) return ByteRunsAnswer::kResident;
  if (resident != ntfs_result::kNoResidentData) return ByteRunsAnswer::kUnknown;

  std::vector<DataRun> dataRuns;
  if (ReadAttributeRuns(device, geometry, mftRuns, record.entrySector, attribute_type::kData,
                        dataRuns, lists) != result::kSuccess) {
    return ByteRunsAnswer::kUnknown;
  }
  const std::uint64_t clusterBytes = geometry.ClusterBytes();
  std::uint64_t done = 0;
  std::int64_t cluster = 0;
  for (const DataRun& run : dataRuns) {
    if (done >= record.size) break;
    if (!AddClusterDelta(cluster, run.clusterDelta)) return ByteRunsAnswer::kUnknown;
    if (clusterBytes != 0 && run.clusterCount > UINT64_MAX / clusterBytes) {
      return ByteRunsAnswer::kUnknown;
    }
    const std::uint64_t length = std::min(run.clusterCount * clusterBytes, record.size - done);
    if (run.flags == kRunSparse) {
      AppendByteRun(runs, {done, 0, length, true});
    } else {
      std::uint64_t sector = 0;
      if (!ClusterToSector(geometry, cluster, sector) ||
          sector > UINT64_MAX / geometry.bytesPerSector) {
        return ByteRunsAnswer::kUnknown;
      }
      AppendByteRun(runs, {done, sector * geometry.bytesPerSector, length, false});
    }
    done += length;
  }
  // Runs that end before the file does leave the rest unknown, as the copy finds.
  return done >= record.size ? ByteRunsAnswer::kKnown : ByteRunsAnswer::kUnknown;
}

}  // namespace keldrive
