#include "ntfs/ntfs_fuzz.h"

#include <memory>
#include <vector>

#include "ntfs/attribute.h"
#include "ntfs/attribute_list.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/boot_sector.h"
#include "ntfs/data_run.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/file_record.h"
#include "ntfs/mft_map.h"
#include "ntfs/record_reader.h"
#include "ntfs/volume_geometry.h"
#include "platform/memory_medium.h"

namespace keldrive {
namespace {

// Records of the fuzzed volume whose runs are read: enough to reach past the system files.
constexpr std::uint64_t kFuzzedRecords = 32;

void ParseEveryAttribute(std::span<const std::uint8_t> record, const FileRecordHeader& header,
                         std::uint32_t recordSize, WalkStops stops) {
  AttributeWalk walk = AttributeWalk::OfRecord(record, header, recordSize, stops);
  Attribute a;
  while (walk.Next(a)) {
    std::u16string name;
    AttributeName(a, name);
    FileNameAttribute fileName;
    ParseFileNameAttribute(a, fileName);
    std::vector<DataRun> runs;
    DecodeDataRuns(a, runs);
    std::span<const std::uint8_t> value;
    if (ResidentValue(a, value) == ParseStatus::kOk &&
        a.header.type == attribute_type::kAttributeList) {
      AttributeListWalk entries(value);
      AttributeListEntry entry;
      while (entries.Next(entry)) {
      }
    }
  }
}

}  // namespace

void FuzzNtfsBootSector(std::span<const std::uint8_t> bytes) {
  NtfsBootSector boot;
  if (ParseNtfsBootSector(bytes, boot) != ParseStatus::kOk) return;
  NtfsGeometry geometry;
  MakeNtfsGeometry(boot, 0, bytes.size() / 512, 0, geometry);
}

void FuzzNtfsFileRecord(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> record(bytes.begin(), bytes.end());
  FileRecordHeader header;
  if (ParseFileRecordHeader(record, header) != ParseStatus::kOk) return;
  const std::uint32_t recordSize = record.size() >= 4096 ? 4096 : 1024;
  ApplyUpdateSequence(record, recordSize);
  ParseEveryAttribute(record, header, recordSize, WalkStops::kEndMarker);
  ParseEveryAttribute(record, header, recordSize, WalkStops::kScanTime);
}

void FuzzNtfsRunList(std::span<const std::uint8_t> bytes) {
  std::vector<DataRun> runs;
  DecodeRunList(bytes, runs);
  std::vector<DataRun> joined;
  std::int64_t summed = 0;
  if (AppendExtentRuns(joined, summed, runs)) (void)AppendExtentRuns(joined, summed, runs);
}

void FuzzNtfsVolume(std::span<const std::uint8_t> bytes) {
  SectorDevice device;
  auto medium = std::make_unique<platform::MemoryMedium>(
      std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (AttachImage(device, std::move(medium)) != result::kSuccess) return;
  NtfsBootSector boot;
  NtfsGeometry geometry;
  if (ReadNtfsBootSector(device, 0, 512, boot) != result::kSuccess ||
      !MakeNtfsGeometry(boot, 0, device.totalSectors, 0, geometry)) {
    return;
  }
  std::vector<DataRun> mftRuns;
  ReadAttributeRuns(device, geometry, {}, geometry.mftStartSector, attribute_type::kData, mftRuns);
  for (std::uint64_t record = 0; record < kFuzzedRecords; ++record) {
    const std::uint64_t sector = RecordNumberToSector(geometry, mftRuns, record);
    std::vector<DataRun> runs;
    ReadAttributeRuns(device, geometry, mftRuns, sector, attribute_type::kData, runs);
    ReadAttributeRuns(device, geometry, mftRuns, sector, attribute_type::kData, runs,
                      AttributeListHandling::kStop);
    std::vector<std::uint8_t> value;
    ReadResidentData(device, geometry, sector, value);
  }
}

}  // namespace keldrive
