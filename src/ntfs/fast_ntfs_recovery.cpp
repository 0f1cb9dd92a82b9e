#include "ntfs/fast_ntfs_recovery.h"

#include <algorithm>

#include "engine/scan_log_name.h"
#include "engine/text_encoding.h"
#include "ntfs/attribute.h"
#include "ntfs/attribute_list.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/boot_sector.h"
#include "ntfs/data_stream.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/file_record.h"
#include "ntfs/mft_map.h"
#include "ntfs/ntfs_file_reader.h"
#include "ntfs/record_reader.h"
#include "ntfs/standard_information.h"
#include "platform/clock.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kEstimateIntervalMs = 5000;
// "LostFolder%d" records carry no cluster size.
constexpr std::uint32_t kNoClusterBytes = 0xFFFFFFFF;

std::string NameOf(const FileNameAttribute& fileName) {
  return Utf16ToUtf8Lossy(fileName.name);
}

}  // namespace

CFastNtfsRecovery::CFastNtfsRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CFastNtfsRecovery::OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount,
                                         char16_t driveLetter, std::uint32_t deviceSectorBytes) {
  NtfsBootSector boot;
  if (const ResultCode rc = ReadNtfsBootSector(device_, firstSector, deviceSectorBytes, boot);
      rc != result::kSuccess) {
    return rc;
  }
  // From here on the volume is read in its own sectors.
  const std::uint32_t bps = boot.bytesPerSector != 0 ? boot.bytesPerSector : 512;
  const std::uint64_t start = firstSector * deviceSectorBytes / bps;
  const std::uint64_t count = sectorCount * deviceSectorBytes / bps;
  if (!MakeNtfsGeometry(boot, start, count, driveLetter, geometry_)) {
    return result::kInvalidParameter;
  }
  mftRuns_.clear();
  if (boot.totalSectors > count) {
    NoteDamage("the volume is cut short: its boot sector claims " +
               std::to_string(boot.totalSectors) + " sectors, the medium holds " +
               std::to_string(count) + "; it is scanned as far as the medium goes");
  }
  if (ReadAttributeRuns(device_, geometry_, {}, geometry_.mftStartSector, attribute_type::kData,
                        mftRuns_) != result::kSuccess ||
      mftRuns_.empty()) {
    ReadMftRunsFromMirror(boot);
  }
  return result::kSuccess;
}

void CFastNtfsRecovery::ReadMftRunsFromMirror(const NtfsBootSector& boot) {
  // Record 0 of the MFT cannot be read or is damaged: $MFTMirr holds a copy of it.
  mftRuns_.clear();
  std::uint64_t mirror = 0;
  if (boot.mftMirrorCluster <= INT64_MAX &&
      ClusterToSector(geometry_, static_cast<std::int64_t>(boot.mftMirrorCluster), mirror) &&
      ReadAttributeRuns(device_, geometry_, {}, mirror, attribute_type::kData, mftRuns_) ==
          result::kSuccess &&
      !mftRuns_.empty()) {
    NoteDamage(
        "the first record of the master file table could not be read or is damaged; "
        "its copy in $MFTMirr was used");
    return;
  }
  mftRuns_.clear();
  NoteDamage(
      "the first record of the master file table and its copy in $MFTMirr could not be "
      "read or are damaged: the file table cannot be found, so no deleted file can be "
      "listed; a deep scan (--mode deep) looks for file records anywhere");
}

FoundFile CFastNtfsRecovery::NewRecord(std::uint32_t number) const {
  FoundFile record;
  record.driveLetter = geometry_.driveLetter;
  record.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kQuickNtfs);
  record.startCluster = number;
  record.clusterBytes = static_cast<std::uint32_t>(geometry_.ClusterBytes());
  record.entrySector = RecordNumberToSector(geometry_, mftRuns_, number);
  record.volumeStartSector = geometry_.partitionStart;
  return record;
}

ResultCode CFastNtfsRecovery::Scan(std::string_view logName) {
  if (!ready_) return NotReady();
  parentList_.clear();
  parentSet_.clear();
  folderFacts_.clear();
  extensionNames_.clear();
  recordedFiles_.clear();
  unreadablePieces_ = 0;
  unreadableRecords_ = 0;
  bool loaded = false;
  if (const ResultCode rc = StartLog(logName, kQuickLogPrefix,
                                     static_cast<std::int64_t>(geometry_.partitionStart), loaded);
      rc != result::kSuccess || loaded) {
    return rc;
  }

  const std::uint32_t bps = geometry_.bytesPerSector;
  const std::uint64_t spc = geometry_.sectorsPerCluster;
  std::uint64_t total = 0;
  for (const DataRun& run : mftRuns_) total += run.clusterCount * spc;

  // First pass: the MFT in run order, a chunk of records at a time.
  const std::uint64_t started = platform::MonotonicMilliseconds();
  std::uint64_t lastEstimate = started;
  std::int32_t remaining = -1;
  std::uint64_t done = 0;
  std::uint64_t recordNumber = 0;
  std::int64_t cluster = 0;
  std::vector<std::uint8_t> chunk(geometry_.chunkSize);
  std::vector<std::uint32_t> unreadable;
  const std::uint64_t mediumSectors = device_.TotalBytes() / bps;
  const std::uint64_t chunkSectors = geometry_.chunkSize / bps;
  ResultCode result = result::kSuccess;
  for (const DataRun& run : mftRuns_) {
    if (result != result::kSuccess) break;
    std::uint64_t runStart = 0;
    const bool placed = AddClusterDelta(cluster, run.clusterDelta) && run.flags != kRunSparse &&
                        ClusterToSector(geometry_, cluster, runStart);
    const std::uint64_t runSectors = run.clusterCount * spc;
    for (std::uint64_t offset = 0; offset < runSectors; offset += chunkSectors) {
      const std::uint64_t sectors = std::min(chunkSectors, runSectors - offset);
      const std::uint64_t records = sectors / geometry_.sectorsPerRecord;
      // A medium cut short inside the MFT: the records before the cut are still read.
      const std::uint64_t first = runStart + offset;
      const std::uint64_t present =
          placed && first < mediumSectors ? std::min(sectors, mediumSectors - first) : 0;
      const std::uint64_t presentRecords = present / geometry_.sectorsPerRecord;
      std::int32_t got = 0;
      const ResultCode read = presentRecords != 0
                                  ? ReadSectors(device_, std::span(chunk).first(present * bps),
                                                first, static_cast<std::int32_t>(present),
                                                static_cast<std::int32_t>(bps), got, unreadable)
                                  : result::kInvalidParameter;
      if (read != result::kSuccess && read != result::kReadFault) {
        // A piece that cannot be read is passed over; the records after it still count.
        ++unreadablePieces_;
      } else {
        if (presentRecords < records) ++unreadablePieces_;
        // Only the records that hold an unreadable sector are lost.
        auto bad = unreadable.begin();
        for (std::uint64_t i = 0; i < presentRecords; ++i) {
          const std::uint64_t end = (i + 1) * geometry_.sectorsPerRecord;
          bool damaged = false;
          for (; bad != unreadable.end() && *bad < end; ++bad) damaged = true;
          if (damaged) {
            ++unreadableRecords_;
            continue;
          }
          HandleDeletedRecord(
              std::span(chunk).subspan(i * geometry_.recordSize, geometry_.recordSize),
              static_cast<std::uint32_t>(recordNumber + i));
        }
      }
      recordNumber += records;
      done += sectors;
      const std::uint64_t now = platform::MonotonicMilliseconds();
      if (now - lastEstimate >= kEstimateIntervalMs && weight_ == 100) {
        lastEstimate = now;
        const std::uint64_t seconds = std::max<std::uint64_t>(1, (now - started) / 1000);
        const std::uint64_t speed = std::max<std::uint64_t>(1, done * bps / seconds);
        remaining = static_cast<std::int32_t>(
            std::min<std::uint64_t>((total - std::min(done, total)) * bps / speed, INT32_MAX));
      }
      const auto percent = static_cast<std::int32_t>(total == 0 ? 100 : done * 100 / total);
      if (result = ReportScan(percent, remaining, done, total); result != result::kSuccess) break;
    }
  }

  if (result == result::kSuccess) RecordNamesFromExtensions();
  // Second pass: the folders the files lie in, including those found on the way.
  for (std::size_t i = 0; result == result::kSuccess && i < parentList_.size(); ++i) {
    HandleParentRecord(parentList_[i]);
  }
  if (result == result::kSuccess) result = ReportScan(100, 0, total, total);
  const ResultCode flushed = log_->Flush();
  return result != result::kSuccess ? result : flushed;
}

void CFastNtfsRecovery::HandleDeletedRecord(std::span<std::uint8_t> record, std::uint32_t number) {
  FileRecordHeader header;
  if (ParseFileRecordHeader(record, header) != ParseStatus::kOk || header.flags != 0) return;
  if (number <= kLastSystemRecord) return;
  if (ApplyUpdateSequence(record, geometry_.recordSize) != ParseStatus::kOk) return;
  if (header.baseRecord != 0) {
    // An extension record: its names belong to the file of its base record, whose own
    // record may have lost the attribute list that pointed here.
    AttributeWalk walk =
        AttributeWalk::OfRecord(record, header, geometry_.recordSize, WalkStops::kScanTime);
    Attribute attribute;
    while (walk.Next(attribute)) {
      FileNameAttribute fileName;
      if (attribute.header.type == attribute_type::kFileName &&
          ParseFileNameAttribute(attribute, fileName) == ParseStatus::kOk &&
          header.baseRecord <= UINT32_MAX) {
        extensionNames_[static_cast<std::uint32_t>(header.baseRecord)].push_back(fileName);
      }
    }
    return;
  }
  RecordDeletedFile(record, header, number, {});
}

void CFastNtfsRecovery::RecordNamesFromExtensions() {
  std::vector<std::uint8_t> block;
  for (const auto& [base, names] : extensionNames_) {
    if (recordedFiles_.contains(base) || base <= kLastSystemRecord) continue;
    FileRecordHeader header;
    if (ReadFileRecord(device_, geometry_, RecordNumberToSector(geometry_, mftRuns_, base), block,
                       header) != result::kSuccess ||
        header.flags != 0 || header.baseRecord != 0) {
      continue;
    }
    RecordDeletedFile(block, header, base, names);
  }
}

void CFastNtfsRecovery::RecordDeletedFile(std::span<const std::uint8_t> record,
                                          const FileRecordHeader& header, std::uint32_t number,
                                          std::span<const FileNameAttribute> extraNames) {
  std::optional<FoundFile> file;
  std::uint32_t parent = 0;
  const auto takeName = [&](const FileNameAttribute& fileName) {
    if (!file) {
      file = NewRecord(number);
      file->isDeleted = 1;
      file->created = fileName.created;
      file->accessed = fileName.accessed;
      file->modified = fileName.modified;
      file->size = fileName.realSize;
      file->SetName(NameOf(fileName));
      parent = fileName.parentRecord;
    } else if (fileName.nameNamespace == file_name_namespace::kWin32) {
      // A DOS name may come first; the long name is the one people know.
      file->SetName(NameOf(fileName));
    }
  };
  for (const FileNameAttribute& fileName : extraNames) takeName(fileName);
  bool hasAttributeList = false;
  std::vector<std::uint8_t> listValue;
  std::optional<std::uint64_t> dataSize;
  std::vector<DataStream> streams;
  AttributeWalk walk =
      AttributeWalk::OfRecord(record, header, geometry_.recordSize, WalkStops::kScanTime);
  Attribute attribute;
  while (walk.Next(attribute)) {
    const std::uint32_t type = attribute.header.type;
    if (type == attribute_type::kAttributeList && !hasAttributeList) {
      hasAttributeList =
          ReadAttributeListValue(device_, geometry_, attribute, listValue) == result::kSuccess;
    } else if (type == attribute_type::kFileName) {
      FileNameAttribute fileName;
      if (ParseFileNameAttribute(attribute, fileName) == ParseStatus::kOk) takeName(fileName);
    } else if (type == attribute_type::kData && attribute.header.nameLength != 0) {
      DataStream stream;
      if (ReadDataStream(attribute, stream) && IsUserStream(stream.name)) {
        streams.push_back(std::move(stream));
      }
    } else if (type == attribute_type::kData && attribute.header.nameLength == 0 && !dataSize) {
      std::span<const std::uint8_t> value;
      if (attribute.header.nonResident) {
        dataSize = attribute.header.realSize;
      } else if (ResidentValue(attribute, value) == ParseStatus::kOk) {
        dataSize = value.size();
      }
    }
  }
  // A file with many names keeps them in extension records its attribute list names.
  if (!file && hasAttributeList) {
    AttributeListWalk entries(listValue);
    AttributeListEntry entry;
    std::unordered_set<std::uint64_t> read;
    std::vector<std::uint8_t> block;
    while (entries.Next(entry)) {
      if (entry.type != attribute_type::kFileName || entry.recordNumber == number ||
          !read.insert(entry.recordNumber).second) {
        continue;
      }
      FileRecordHeader extension;
      if (ReadFileRecord(device_, geometry_,
                         RecordNumberToSector(geometry_, mftRuns_, entry.recordNumber), block,
                         extension) != result::kSuccess ||
          extension.baseRecord != number) {
        continue;
      }
      AttributeWalk names =
          AttributeWalk::OfRecord(block, extension, geometry_.recordSize, WalkStops::kScanTime);
      while (names.Next(attribute)) {
        FileNameAttribute fileName;
        if (attribute.header.type == attribute_type::kFileName &&
            ParseFileNameAttribute(attribute, fileName) == ParseStatus::kOk) {
          takeName(fileName);
        }
      }
    }
  }
  if (!file && dataSize && *dataSize != 0) {
    // The data is there but every name is gone (some drivers empty the records that held
    // them): the file is listed in the root under its record number.
    file = NewRecord(number);
    file->isDeleted = 1;
    file->SetName("Record" + std::to_string(number));
    parent = kRootRecord;
  }
  if (!file) return;
  if (dataSize) file->size = *dataSize;
  recordedFiles_.insert(number);
  const std::uint32_t depth = ResolveParents(parent);
  file->contentOk = NtfsContentOk(device_, geometry_, mftRuns_, *file, environment_.contentCheck);
  log_->AddChild(parent, depth, log_->AppendRecord(*file));
  // Each named stream is a file of its own beside it, "file:stream".
  const std::string base(file->Name());
  for (const DataStream& stream : streams) {
    FoundFile named = *file;
    named.size = stream.size;
    named.SetName(StreamFileName(base, stream.name));
    named.contentOk = NtfsContentOk(device_, geometry_, mftRuns_, named, environment_.contentCheck);
    log_->AddChild(parent, depth, log_->AppendRecord(named));
  }
}

const CFastNtfsRecovery::FolderFacts& CFastNtfsRecovery::FactsOf(std::uint32_t number) {
  const auto known = folderFacts_.find(number);
  if (known != folderFacts_.end()) return known->second;
  FolderFacts facts;
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  if (ReadFileRecord(device_, geometry_, RecordNumberToSector(geometry_, mftRuns_, number), block,
                     header) == result::kSuccess) {
    facts.readable = true;
    facts.directory = header.IsDirectory();
    AttributeWalk walk =
        AttributeWalk::OfRecord(block, header, geometry_.recordSize, WalkStops::kScanTime);
    Attribute attribute;
    while (facts.directory && walk.Next(attribute)) {
      FileNameAttribute fileName;
      if (attribute.header.type == attribute_type::kFileName &&
          ParseFileNameAttribute(attribute, fileName) == ParseStatus::kOk) {
        facts.parent = fileName.parentRecord;
        break;
      }
    }
  }
  return folderFacts_.emplace(number, facts).first->second;
}

void CFastNtfsRecovery::QueueParent(std::uint32_t number) {
  if (parentSet_.insert(number).second) parentList_.push_back(number);
}

std::uint32_t CFastNtfsRecovery::ResolveParents(std::uint32_t parent) {
  // Climbs from a file's folder to the root, queueing every folder on the way for the
  // second pass; the count of folders climbed is the depth of the file's folder. A loop
  // ends at the first folder seen twice.
  std::unordered_set<std::uint32_t> visited;
  std::uint32_t depth = 0;
  std::uint32_t current = parent;
  while (current != kRootRecord && visited.insert(current).second) {
    QueueParent(current);
    ++depth;
    const FolderFacts& facts = FactsOf(current);
    if (!facts.readable || !facts.directory) break;
    current = facts.parent;
  }
  return depth;
}

void CFastNtfsRecovery::AddLostFolder(std::uint32_t number) {
  FoundFile folder;
  folder.driveLetter = geometry_.driveLetter;
  folder.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kQuickNtfs);
  folder.isFolder = 1;
  folder.contentOk = 1;
  folder.clusterBytes = kNoClusterBytes;
  folder.startCluster = number;
  folder.volumeStartSector = geometry_.partitionStart;
  const std::string name = "LostFolder" + std::to_string(number);
  folder.SetName(name);
  log_->AddChild(kRootRecord, 0, log_->AppendRecord(folder), number, name);
}

void CFastNtfsRecovery::HandleParentRecord(std::uint32_t number) {
  if (number <= kLastSystemRecord) return;
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  const std::uint64_t sector = RecordNumberToSector(geometry_, mftRuns_, number);
  // A folder that no longer is one (or cannot be read) still holds the files filed under
  // its number: they go to a "LostFolder" of that number.
  if (ReadFileRecord(device_, geometry_, sector, block, header) != result::kSuccess ||
      !header.IsDirectory()) {
    AddLostFolder(number);
    return;
  }
  AttributeWalk walk =
      AttributeWalk::OfRecord(block, header, geometry_.recordSize, WalkStops::kScanTime);
  Attribute attribute;
  std::optional<FoundFile> folder;
  std::uint32_t parent = 0;
  while (walk.Next(attribute)) {
    if (attribute.header.type != attribute_type::kFileName) continue;
    FileNameAttribute fileName;
    if (ParseFileNameAttribute(attribute, fileName) != ParseStatus::kOk) continue;
    if (!folder) {
      folder = NewRecord(number);
      folder->isFolder = 1;
      folder->isDeleted = header.InUse() ? 0 : 1;
      folder->contentOk = 1;
      folder->created = fileName.created;
      folder->accessed = fileName.accessed;
      folder->modified = fileName.modified;
      folder->SetName(NameOf(fileName));
      parent = fileName.parentRecord;
    } else if (fileName.nameNamespace == file_name_namespace::kWin32) {
      folder->SetName(NameOf(fileName));
    }
  }
  if (!folder) {
    AddLostFolder(number);
    return;
  }
  const std::uint32_t depth = ResolveParents(parent);
  log_->AddChild(parent, depth, log_->AppendRecord(*folder), number, folder->Name());
}

ResultCode CFastNtfsRecovery::BuildUsedClusterMap() {
  if (!ready_) return result::kInvalidParameter;
  return bitmap_.Load(device_, geometry_, mftRuns_);
}

std::int32_t CFastNtfsRecovery::NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) {
  length = 0;
  if (!ready_) return 1;
  if (bitmap_.Empty()) bitmap_.Load(device_, geometry_, mftRuns_);
  bitmap_.NextFreeExtent(geometry_, sector, length);
  return 1;
}

CopyFileData CFastNtfsRecovery::DataOf(const FoundFile& record) {
  return [this, &record](std::uint64_t limit, const DataSink& sink, const PieceReport& report) {
    return CopyNtfsFileData(device_, geometry_, mftRuns_, record, limit, sink, report);
  };
}

ByteRunsAnswer CFastNtfsRecovery::ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) {
  runs.clear();
  if (!ready_ || record.isFolder != 0) return ByteRunsAnswer::kUnknown;
  return NtfsByteRuns(device_, geometry_, mftRuns_, record, runs);
}

FileTimes CFastNtfsRecovery::TimesOf(const FoundFile& record) {
  FileTimes times{record.created, record.accessed, record.modified};
  if (ready_) ReadStandardTimes(device_, geometry_, record.entrySector, times);
  return times;
}

}  // namespace keldrive
