#include "ntfs/professional_ntfs_recovery.h"

#include <algorithm>
#include <limits>

#include "disk/byte_reader.h"
#include "disk/checked_math.h"
#include "disk/file_system_detection.h"
#include "engine/scan_log_name.h"
#include "engine/text_encoding.h"
#include "ntfs/attribute.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/boot_sector.h"
#include "ntfs/data_stream.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/ntfs_file_reader.h"
#include "ntfs/ntfs_result.h"
#include "ntfs/record_reader.h"

namespace keldrive {
namespace {

constexpr std::size_t kBytesInUseOffset = 0x18;
constexpr std::size_t kBytesAllocatedOffset = 0x1C;
constexpr std::size_t kFirstSectorEndOffset = 0x1FE;
constexpr std::size_t kBackupBootTotalSectors = 0x28;
constexpr std::uint32_t kRootRecord = 5;
constexpr std::uint32_t kLastSystemRecord = 11;
// Cluster sizes the records are believed to tell: powers of two up to 128 sectors.
constexpr std::uint32_t kMaxClusterSectors = 128;

bool IsMftName(const std::u16string& name) {
  return name.size() == 4 && name[0] == u'$' && (name[1] | 0x20) == u'm' &&
         (name[2] | 0x20) == u'f' && (name[3] | 0x20) == u't';
}

std::string NameOf(const FileNameAttribute& fileName) {
  return Utf16ToUtf8Lossy(fileName.name);
}

// The sectors per cluster of a non-resident data attribute: its allocated bytes over its
// clusters. Nothing when that is no power of two up to 128.
std::optional<std::uint32_t> ClusterSectorsOf(const Attribute& data, std::uint32_t sectorBytes) {
  std::vector<DataRun> runs;
  DecodeDataRuns(data, runs);
  std::uint64_t clusters = 0;
  for (const DataRun& run : runs) clusters += run.clusterCount;
  if (clusters == 0 || sectorBytes == 0) return std::nullopt;
  const std::uint64_t sectors = data.header.allocatedSize / sectorBytes / clusters;
  if (sectors == 0 || sectors > kMaxClusterSectors || (sectors & (sectors - 1)) != 0) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(sectors);
}

}  // namespace

CProfessionalNtfsRecovery::CProfessionalNtfsRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CProfessionalNtfsRecovery::Scan(std::string_view) {
  return result::kSuccess;
}

std::int32_t CProfessionalNtfsRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t&) {
  return 0;
}

ResultCode CProfessionalNtfsRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

bool CProfessionalNtfsRecovery::IsRecordCandidate(std::span<const std::uint8_t> sector,
                                                  std::uint32_t recordBytes) {
  ByteReader reader(sector);
  if (reader.le32At(0) != kFileRecordSignature || reader.le32At(kBytesInUseOffset) > recordBytes ||
      reader.le32At(kBytesAllocatedOffset) != recordBytes || !reader.ok()) {
    return false;
  }
  const auto sequence = UpdateSequenceOffset(sector, std::max<std::uint32_t>(1, recordBytes / 512));
  return sequence && reader.le16At(*sequence) == reader.le16At(kFirstSectorEndOffset) &&
         reader.ok();
}

std::uint32_t CProfessionalNtfsRecovery::DefaultSectorsPerCluster(std::uint64_t sectorCount,
                                                                  std::uint32_t sectorBytes) {
  // In MiB, against thresholds that grow with the sector size.
  const double mib = static_cast<double>(sectorCount) * sectorBytes / (1024.0 * 1024.0);
  const double d = sectorBytes / 512.0;
  if (mib <= 7 * d) return 8;
  if (mib <= 512 * d) return 1;
  if (mib <= 1024 * d) return 2;
  if (mib <= 2048 * d) return 4;
  return 8;
}

ResultCode CProfessionalNtfsRecovery::OpenVolume(std::uint64_t firstSector,
                                                 std::uint64_t sectorCount, char16_t driveLetter,
                                                 std::uint32_t deviceSectorBytes) {
  NtfsGeometry g;
  g.partitionStart = firstSector;
  g.sectorCount = sectorCount;
  g.driveLetter = driveLetter;
  g.bytesPerSector = deviceSectorBytes;
  g.recordSize = RecordBytes(deviceSectorBytes);
  g.sectorsPerRecord = g.recordSize / deviceSectorBytes;
  g.chunkSize = g.recordSize * kRecordsPerChunk;
  clusterEstimate_ = DefaultSectorsPerCluster(sectorCount, deviceSectorBytes);
  g.sectorsPerCluster = static_cast<std::uint8_t>(clusterEstimate_);
  geometry_ = g;
  mftTable_.clear();

  std::vector<std::uint8_t> boot(std::max<std::uint32_t>(deviceSectorBytes, 512));
  std::int32_t got = 0;
  if (ReadSectors(device_, boot, firstSector,
                  static_cast<std::int32_t>(boot.size() / deviceSectorBytes),
                  static_cast<std::int32_t>(deviceSectorBytes), got) == result::kSuccess &&
      IsNtfsBootSector(boot)) {
    NtfsBootSector fields;
    if (ParseNtfsBootSector(boot, fields) == ParseStatus::kOk) {
      const std::uint64_t key = firstSector + fields.mftCluster * fields.sectorsPerCluster;
      MftTableEntry entry;
      entry.sectorsPerCluster = fields.sectorsPerCluster;
      NtfsGeometry reader = geometry_;
      reader.sectorsPerCluster = fields.sectorsPerCluster;
      if (ReadAttributeRuns(device_, reader, {}, key, attribute_type::kData, entry.runs,
                            AttributeListHandling::kRefuse) == result::kSuccess &&
          !entry.runs.empty()) {
        mftTable_[key] = std::move(entry);
      }
    }
  }
  return result::kSuccess;
}

ResultCode CProfessionalNtfsRecovery::CreateLog(std::string_view logName) {
  if (!ready_) return NotReady();
  pending_.clear();
  folderSectors_.clear();
  parentList_.clear();
  folderFacts_.clear();
  bool loaded = false;
  return StartLog(logName, kProfessionalNtfsLogPrefix,
                  static_cast<std::int64_t>(geometry_.partitionStart), loaded);
}

std::optional<std::uint32_t> CProfessionalNtfsRecovery::NumberOf(const FileRecordHeader& header,
                                                                 std::uint64_t sector) const {
  if (header.HasRecordNumber()) return header.recordNumber;
  // An NTFS 3.0 record does not say its number: only an MFT that holds it can.
  for (const auto& [key, entry] : mftTable_) {
    const auto mft = LayoutOfEntry(key, entry);
    if (!mft) continue;
    const auto number = RecordNumberAt(*mft, sector, geometry_.sectorsPerRecord);
    if (number && *number <= std::numeric_limits<std::uint32_t>::max()) {
      return static_cast<std::uint32_t>(*number);
    }
  }
  return std::nullopt;
}

void CProfessionalNtfsRecovery::HandleRecord(std::span<std::uint8_t> record,
                                             std::uint64_t absoluteSector) {
  if (!log_) return;
  FileRecordHeader header;
  if (ParseFileRecordHeader(record, header) != ParseStatus::kOk) return;
  const auto number = NumberOf(header, absoluteSector);
  if (!number) return;
  if (header.IsDirectory()) {
    // Folders are listed only when a file names them as its parent.
    if (header.HasRecordNumber()) folderSectors_.emplace(*number, absoluteSector);
    return;
  }
  if (ApplyUpdateSequence(record, geometry_.recordSize) != ParseStatus::kOk) return;
  if (header.firstAttributeOffset > header.bytesInUse || header.bytesInUse > geometry_.recordSize ||
      header.baseRecord != 0) {
    return;
  }

  std::optional<FoundFile> file;
  std::uint32_t parent = 0;
  bool isMft = false;
  bool sized = false;
  std::vector<DataStream> streams;
  AttributeWalk walk(record, header.firstAttributeOffset, header.bytesInUse, WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    const std::uint32_t type = attribute.header.type;
    if (type == attribute_type::kFileName) {
      FileNameAttribute fileName;
      if (ParseFileNameAttribute(attribute, fileName) != ParseStatus::kOk) continue;
      if (*number == 0 && !file && !isMft) {
        isMft = IsMftName(fileName.name);
        if (isMft) break;
      }
      if (*number <= kLastSystemRecord) continue;
      if (!file) {
        file.emplace();
        file->driveLetter = geometry_.driveLetter;
        file->sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs);
        file->isDeleted = header.InUse() ? 0 : 1;
        file->startCluster = *number;
        file->entrySector = absoluteSector;
        file->volumeStartSector = geometry_.partitionStart;
        file->created = fileName.created;
        file->accessed = fileName.accessed;
        file->modified = fileName.modified;
        file->size = fileName.realSize;
        file->SetName(NameOf(fileName));
        parent = fileName.parentRecord;
      } else if (fileName.nameNamespace == file_name_namespace::kWin32) {
        file->SetName(NameOf(fileName));
      }
    } else if (type == attribute_type::kData && file) {
      DataStream stream;
      if (!ReadDataStream(attribute, stream)) continue;
      if (stream.name.empty()) {
        if (!sized) file->size = stream.size;
        sized = true;
      } else if (IsUserStream(stream.name)) {
        streams.push_back(std::move(stream));
      }
    }
  }
  if (isMft) {
    NoteMftRecord(record, header, absoluteSector);
    return;
  }
  if (!file) return;
  RefineClusterEstimate(record, header);
  file->clusterBytes = geometry_.bytesPerSector * clusterEstimate_;
  const std::uint32_t logRecord = log_->AppendRecord(*file);
  pending_.push_back({logRecord, *number, parent, absoluteSector});
  const std::string base(file->Name());
  for (const DataStream& stream : streams) {
    FoundFile named = *file;
    named.size = stream.size;
    named.SetName(StreamFileName(base, stream.name));
    pending_.push_back({log_->AppendRecord(named), *number, parent, absoluteSector});
  }
}

void CProfessionalNtfsRecovery::RefineClusterEstimate(std::span<const std::uint8_t> record,
                                                      const FileRecordHeader& header) {
  AttributeWalk walk(record, header.firstAttributeOffset, geometry_.recordSize,
                     WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    if (attribute.header.type == attribute_type::kAttributeList) return;
    if (attribute.header.type != attribute_type::kData) continue;
    if (attribute.header.nonResident) {
      if (const auto sectors = ClusterSectorsOf(attribute, geometry_.bytesPerSector)) {
        clusterEstimate_ = *sectors;
      }
    }
    return;
  }
}

void CProfessionalNtfsRecovery::NoteMftRecord(std::span<const std::uint8_t> record,
                                              const FileRecordHeader& header,
                                              std::uint64_t sector) {
  AttributeWalk walk(record, header.firstAttributeOffset, geometry_.recordSize,
                     WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    if (attribute.header.type == attribute_type::kAttributeList) return;
    if (attribute.header.type != attribute_type::kData) continue;
    MftTableEntry entry;
    if (DecodeDataRuns(attribute, entry.runs) == ParseStatus::kNotThisStructure ||
        entry.runs.empty()) {
      return;
    }
    entry.sectorsPerCluster =
        ClusterSectorsOf(attribute, geometry_.bytesPerSector).value_or(clusterEstimate_);
    // A later "$MFT" at the same place is the newer one.
    mftTable_[sector] = std::move(entry);
    return;
  }
}

void CProfessionalNtfsRecovery::HandleBootSector(std::span<const std::uint8_t> sector,
                                                 std::uint64_t absoluteSector) {
  NtfsBootSector boot;
  if (!IsNtfsBootSector(sector) || ParseNtfsBootSector(sector, boot) != ParseStatus::kOk ||
      boot.bytesPerSector != geometry_.bytesPerSector) {
    return;
  }
  // Either the volume's first sector, or its backup in the sector after the last one the
  // volume counts. Only an MFT that puts a record where it was found claims it, so the
  // wrong guess does no harm.
  const std::uint64_t counted = ByteReader(sector).le64At(kBackupBootTotalSectors);
  std::vector<std::uint64_t> starts{absoluteSector};
  if (counted <= absoluteSector) starts.push_back(absoluteSector - counted);
  for (const std::uint64_t start : starts) {
    const auto offset = CheckedMul64(boot.mftCluster, boot.sectorsPerCluster);
    const auto key = offset ? CheckedAdd64(start, *offset) : std::nullopt;
    if (!key || boot.mftCluster > static_cast<std::uint64_t>(INT64_MAX)) continue;
    // Its own runs are gone with its record 0: it is taken to run on contiguously.
    MftTableEntry entry;
    entry.sectorsPerCluster = boot.sectorsPerCluster;
    entry.runs.push_back({0, 0, static_cast<std::int64_t>(boot.mftCluster)});
    mftTable_.try_emplace(*key, std::move(entry));
  }
}

ResultCode CProfessionalNtfsRecovery::FolderPass() {
  if (!log_) return result::kSuccess;
  for (const PendingFile& pending : pending_) PlaceFile(pending);
  pending_.clear();
  ResultCode result = result::kSuccess;
  // Folders found on the way are appended and handled too.
  for (std::size_t i = 0; i < parentList_.size(); ++i) {
    const ResultCode rc = ListParentFolder(parentList_[i]);
    if (result == result::kSuccess) result = rc;
  }
  parentList_.clear();
  const ResultCode flushed = log_->Flush();
  return result != result::kSuccess ? result : flushed;
}

NtfsGeometry CProfessionalNtfsRecovery::GeometryOf(const FoundFile& record) const {
  NtfsGeometry g = geometry_;
  g.partitionStart = record.volumeStartSector;
  const std::uint32_t sectors =
      geometry_.bytesPerSector == 0 ? 1 : record.clusterBytes / geometry_.bytesPerSector;
  g.sectorsPerCluster = static_cast<std::uint8_t>(std::clamp<std::uint32_t>(sectors, 1, 128));
  return g;
}

void CProfessionalNtfsRecovery::PlaceFile(const PendingFile& pending) {
  FoundFile file;
  if (log_->ReadRecord(pending.logRecord, file) != result::kSuccess) return;
  auto mft = std::make_shared<const MftLayout>(
      PlaceRecord(mftTable_, pending.number, pending.sector, geometry_.sectorsPerRecord,
                  geometry_.partitionStart));
  file.volumeStartSector = mft->volumeStart;
  const std::uint32_t depth = ResolveParents(pending.parent, mft, pending.sector);
  file.contentOk = NtfsContentOk(device_, GeometryOf(file), {}, file, environment_.contentCheck,
                                 AttributeListHandling::kRefuse);
  log_->UpdateRecord(file);
  log_->AddChild(pending.parent, depth, pending.logRecord);
}

std::uint32_t CProfessionalNtfsRecovery::ResolveParents(std::uint32_t parent,
                                                        const std::shared_ptr<const MftLayout>& mft,
                                                        std::uint64_t near) {
  // Climbs to the root; the count of folders climbed is the depth of the file's folder. A
  // loop ends at the first folder seen twice.
  std::unordered_set<std::uint32_t> visited;
  std::uint32_t depth = 0;
  std::uint32_t current = parent;
  std::shared_ptr<const MftLayout> along = mft;
  while (current != kRootRecord && visited.insert(current).second) {
    ++depth;
    const bool known = folderFacts_.contains(current);
    const FolderFacts& facts = FactsOf(current, along, near);
    if (!known) parentList_.push_back(current);
    if (!facts.directory) break;
    along = facts.mft;
    near = facts.sector;
    current = facts.parent;
  }
  return depth;
}

const CProfessionalNtfsRecovery::FolderFacts& CProfessionalNtfsRecovery::FactsOf(
    std::uint32_t number, const std::shared_ptr<const MftLayout>& mft, std::uint64_t near) {
  if (const auto known = folderFacts_.find(number); known != folderFacts_.end()) {
    return known->second;
  }
  // Two volumes whose folders share a number keep the one looked up first.
  FolderFacts facts;
  facts.mft = mft;
  const auto mapped = MapRecordSector(*mft, number, geometry_.sectorsPerRecord);
  facts.sector = mapped.value_or(geometry_.partitionStart);
  if (!mapped || !ReadFolderFacts(*mapped, number, true, facts)) {
    // The MFT is not where it was assumed to be (it was in fragments, or its start is not
    // known): the folder record of that number the walk met nearest to the child.
    const auto [begin, end] = folderSectors_.equal_range(number);
    std::vector<std::uint64_t> sectors;
    for (auto it = begin; it != end; ++it) sectors.push_back(it->second);
    std::sort(sectors.begin(), sectors.end(), [near](std::uint64_t a, std::uint64_t b) {
      const std::uint64_t da = a > near ? a - near : near - a;
      const std::uint64_t db = b > near ? b - near : near - b;
      return da != db ? da < db : a < b;
    });
    for (const std::uint64_t sector : sectors) {
      FolderFacts found = facts;
      if (ReadFolderFacts(sector, number, true, found)) {
        found.sector = sector;
        facts = found;
        break;
      }
    }
  }
  return folderFacts_.emplace(number, facts).first->second;
}

bool CProfessionalNtfsRecovery::ReadFolderFacts(std::uint64_t sector, std::uint32_t number,
                                                bool numberKnown, FolderFacts& facts) {
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  if (ReadFileRecord(device_, geometry_, sector, block, header) != result::kSuccess) return false;
  if (!header.IsDirectory() ||
      (numberKnown && header.HasRecordNumber() && header.recordNumber != number)) {
    return false;
  }
  if (header.firstAttributeOffset > header.bytesInUse ||
      header.bytesInUse >= geometry_.recordSize ||
      header.firstAttributeOffset >= geometry_.recordSize) {
    return false;
  }
  AttributeWalk walk(block, header.firstAttributeOffset, header.bytesInUse, WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    FileNameAttribute fileName;
    if (attribute.header.type == attribute_type::kFileName &&
        ParseFileNameAttribute(attribute, fileName) == ParseStatus::kOk) {
      facts.directory = true;
      facts.parent = fileName.parentRecord;
      facts.sector = sector;
      return true;
    }
  }
  return false;
}

ResultCode CProfessionalNtfsRecovery::ListParentFolder(std::uint32_t number) {
  const FolderFacts facts = folderFacts_[number];
  if (!facts.directory) {
    AddLostFolder(number, facts.sector);
    return result::kSuccess;
  }
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  const ResultCode rc = ReadFileRecord(device_, geometry_, facts.sector, block, header);
  if (rc != result::kSuccess) {
    AddLostFolder(number, facts.sector);
    return rc == ntfs_result::kNotFileRecord ? result::kSuccess : rc;
  }
  std::optional<FoundFile> folder;
  AttributeWalk walk(block, header.firstAttributeOffset,
                     std::min<std::size_t>(header.bytesInUse, geometry_.recordSize),
                     WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    FileNameAttribute fileName;
    if (attribute.header.type != attribute_type::kFileName ||
        ParseFileNameAttribute(attribute, fileName) != ParseStatus::kOk) {
      continue;
    }
    if (!folder) {
      folder.emplace();
      folder->driveLetter = geometry_.driveLetter;
      folder->sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs);
      folder->isFolder = 1;
      folder->isDeleted = header.InUse() ? 0 : 1;
      folder->contentOk = 1;
      folder->startCluster = number;
      folder->clusterBytes = geometry_.bytesPerSector * clusterEstimate_;
      folder->entrySector = facts.sector;
      folder->volumeStartSector = facts.mft ? facts.mft->volumeStart : geometry_.partitionStart;
      folder->created = fileName.created;
      folder->accessed = fileName.accessed;
      folder->modified = fileName.modified;
      folder->SetName(NameOf(fileName));
    } else if (fileName.nameNamespace == file_name_namespace::kWin32) {
      folder->SetName(NameOf(fileName));
    }
  }
  if (!folder) {
    AddLostFolder(number, facts.sector);
    return result::kSuccess;
  }
  const std::uint32_t depth = ResolveParents(facts.parent, facts.mft, facts.sector);
  log_->AddChild(facts.parent, depth, log_->AppendRecord(*folder), number, folder->Name());
  return result::kSuccess;
}

void CProfessionalNtfsRecovery::AddLostFolder(std::uint32_t number, std::uint64_t sector) {
  FoundFile folder;
  folder.driveLetter = geometry_.driveLetter;
  folder.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs);
  folder.isFolder = 1;
  folder.contentOk = 1;
  folder.startCluster = number;
  folder.clusterBytes = geometry_.bytesPerSector * clusterEstimate_;
  folder.entrySector = sector;
  folder.volumeStartSector = geometry_.partitionStart;
  const std::string name = "LostFolder" + std::to_string(number);
  folder.SetName(name);
  log_->AddChild(kRootRecord, 0, log_->AppendRecord(folder), number, name);
}

ResultCode CProfessionalNtfsRecovery::ReadDataRuns(std::uint64_t recordSector,
                                                   std::vector<DataRun>& runs) {
  runs.clear();
  if (!ready_) return NotReady();
  return ReadAttributeRuns(device_, geometry_, {}, recordSector, attribute_type::kData, runs,
                           AttributeListHandling::kRefuse);
}

ByteRunsAnswer CProfessionalNtfsRecovery::ByteRunsOf(const FoundFile& record,
                                                     std::vector<ByteRun>& runs) {
  runs.clear();
  if (record.isFolder != 0) return ByteRunsAnswer::kUnknown;
  return NtfsByteRuns(device_, GeometryOf(record), {}, record, runs, AttributeListHandling::kStop);
}

CopyFileData CProfessionalNtfsRecovery::DataOf(const FoundFile& record) {
  return [this, &record](std::uint64_t limit, const DataSink& sink, const PieceReport& report) {
    return CopyNtfsFileData(device_, GeometryOf(record), {}, record, limit, sink, report,
                            AttributeListHandling::kStop);
  };
}

}  // namespace keldrive
