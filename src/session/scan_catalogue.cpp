#include "session/scan_catalogue.h"

#include <algorithm>
#include <charconv>

#include "disk/medium_queries.h"
#include "platform/file_lock.h"
#include "platform/folder_tree.h"
#include "platform/path_info.h"
#include "platform/profile_file.h"

namespace keldrive {
namespace {

constexpr std::string_view kRecordFile = "keldrive-scan.ini";
constexpr std::string_view kScan = "Scan";
constexpr std::string_view kArea = "Area";
constexpr std::string_view kMedium = "Medium";
constexpr std::string_view kResult = "Result";
constexpr std::size_t kMostListed = 64;  // logs and notes kept in a record

std::uint64_t Number(const platform::ProfileFile& file, std::string_view section,
                     std::string_view key) {
  const auto text = file.Value(section, key);
  std::uint64_t value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value);
  return value;
}

std::string Text(const platform::ProfileFile& file, std::string_view section,
                 std::string_view key) {
  return file.Value(section, key).value_or("");
}

// Values are single trimmed lines: anything else in a note is flattened.
std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return line;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

ScanState ParseState(std::string_view text) {
  for (const ScanState state :
       {ScanState::kRunning, ScanState::kFinished, ScanState::kStopped, ScanState::kFailed}) {
    if (ScanStateName(state) == text) return state;
  }
  return ScanState::kFailed;
}

ScanArea::Kind ParseAreaKind(std::string_view text) {
  for (const ScanArea::Kind kind :
       {ScanArea::Kind::kWhole, ScanArea::Kind::kVolume, ScanArea::Kind::kGap}) {
    if (AreaKindName(kind) == text) return kind;
  }
  return ScanArea::Kind::kVolume;
}

// Fields known on both sides must agree; an unknown field says nothing.
bool SameWhereKnown(const std::string& a, const std::string& b) {
  return a.empty() || b.empty() || a == b;
}

// The history entry's view of an area: images by path, disk areas by disk number.
struct HistoryKey {
  std::int32_t diskNumber = 0;
  std::string imagePath;
  std::string volumeRoot;  // where the area's file system is mounted, for its free bytes
};

HistoryKey KeyOf(const ScanArea& area) {
  HistoryKey key;
  if (area.source.IsImage()) {
    key.imagePath = area.source.path;
  } else {
    key.diskNumber = area.source.diskNumber;
    key.volumeRoot = area.mountPoint;
  }
  return key;
}

}  // namespace

std::string_view ScanStateName(ScanState state) {
  switch (state) {
    case ScanState::kRunning:
      return "running";
    case ScanState::kFinished:
      return "finished";
    case ScanState::kStopped:
      return "stopped";
    case ScanState::kFailed:
      return "failed";
  }
  return "failed";
}

ScanKind KindOf(RecoveryMode mode, bool whole) {
  if (!IsProfessional(mode)) return ScanKind::kDeleted;
  return whole ? ScanKind::kProfessionalWhole : ScanKind::kProfessional;
}

bool QueryAreaIdentity(const ScanArea& area, AreaIdentity& out,
                       const platform::SystemRoots& roots) {
  out = AreaIdentity{};
  if (!platform::QueryMediumIdentity(area.source.path, out.identity, roots)) return false;
  if (!area.devicePath.empty()) {
    // A partition of the machine: its own ids tell a new file system from the old one.
    platform::MediumIdentity volume;
    if (platform::QueryMediumIdentity(area.devicePath, volume, roots)) {
      out.identity.partitionUuid = volume.partitionUuid;
      out.identity.fileSystemUuid = volume.fileSystemUuid;
    }
  }
  if (!area.mountPoint.empty()) GetFreeBytes(area.mountPoint, out.freeBytes);
  return true;
}

MediumMatch CompareMedium(const ScanRecord& record, const ScanArea& area,
                          const AreaIdentity& now) {
  std::string recorded, current;
  platform::ResolvePath(record.area.source.path, recorded);
  platform::ResolvePath(area.source.path, current);
  if (recorded.empty()) recorded = record.area.source.path;
  if (current.empty()) current = area.source.path;
  if (recorded != current || record.area.source.kind != area.source.kind) {
    return MediumMatch::kOther;
  }
  // An image's areas are known by their place in its listing: the same place with other
  // sectors is the same area of a changed image. A disk's areas are known by their sectors.
  if (area.source.IsImage() ? record.area.number != area.number || record.area.kind != area.kind
                            : record.area.sectors != area.sectors) {
    return MediumMatch::kOther;
  }
  if (record.area.sectors != area.sectors) return MediumMatch::kChanged;
  const platform::MediumIdentity& then = record.identity;
  const platform::MediumIdentity& is = now.identity;
  const bool same = then.sizeBytes == is.sizeBytes && then.writeTime == is.writeTime &&
                    SameWhereKnown(then.serial, is.serial) &&
                    SameWhereKnown(then.partitionUuid, is.partitionUuid) &&
                    SameWhereKnown(then.fileSystemUuid, is.fileSystemUuid) &&
                    (record.freeBytes == 0 || now.freeBytes == 0 ||
                     record.freeBytes == now.freeBytes);
  return same ? MediumMatch::kSame : MediumMatch::kChanged;
}

ScanCatalogue::ScanCatalogue(std::string root, FreeBytesQuery freeBytes)
    : root_(std::move(root)), freeBytes_(std::move(freeBytes)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string ScanCatalogue::LockPath() const {
  return root_ + "/config.lock";
}

ResultCode ScanCatalogue::BeginScan(ScanRecord& record) {
  if (const ResultCode rc = platform::CreateFolderTree(root_); rc != result::kSuccess) return rc;
  platform::FileLock lock;
  if (const ResultCode rc = lock.Acquire(LockPath()); rc != result::kSuccess) return rc;
  ScanHistory history(root_, freeBytes_);
  std::string folder;
  if (const ResultCode rc = history.ClaimNewScanFolder(folder); rc != result::kSuccess) return rc;
  // Saved before the lock is let go, so the next claim starts after this number.
  if (const ResultCode rc = history.Save(); rc != result::kSuccess) return rc;
  lock.Release();
  record.number = history.ScanNumber();
  record.folder = folder;
  if (record.set == 0) record.set = record.number;
  record.state = ScanState::kRunning;
  return SaveRecord(record);
}

ResultCode ScanCatalogue::SaveRecord(const ScanRecord& record) const {
  platform::ProfileFile file;
  file.SetValue(kScan, "number", std::to_string(record.number));
  file.SetValue(kScan, "set", std::to_string(record.set));
  file.SetValue(kScan, "mode", RecoveryModeName(record.mode));
  file.SetValue(kScan, "whole", record.whole ? "1" : "0");
  file.SetValue(kScan, "argument", OneLine(record.argument));
  file.SetValue(kScan, "started", std::to_string(record.started));
  file.SetValue(kScan, "ended", std::to_string(record.ended));
  for (std::size_t i = 0; i < record.logs.size() && i < kMostListed; ++i) {
    file.SetValue(kScan, "log" + std::to_string(i + 1), record.logs[i]);
  }

  const ScanArea& area = record.area;
  file.SetValue(kArea, "source", area.source.IsImage() ? "image" : "disk");
  file.SetValue(kArea, "path", area.source.path);
  file.SetValue(kArea, "disk", std::to_string(area.source.diskNumber));
  file.SetValue(kArea, "sectorBytes", std::to_string(area.source.sectorBytes));
  file.SetValue(kArea, "kind", AreaKindName(area.kind));
  file.SetValue(kArea, "firstSector", std::to_string(area.sectors.First()));
  file.SetValue(kArea, "sectors", std::to_string(area.sectors.Count()));
  file.SetValue(kArea, "number", std::to_string(area.number));
  file.SetValue(kArea, "partition", std::to_string(area.partitionNumber));
  file.SetValue(kArea, "type", std::to_string(area.type));
  file.SetValue(kArea, "fileSystem", area.fileSystem);
  file.SetValue(kArea, "label", OneLine(area.label));
  file.SetValue(kArea, "device", area.devicePath);
  file.SetValue(kArea, "mountPoint", area.mountPoint);
  file.SetValue(kArea, "letter", std::to_string(static_cast<unsigned>(area.driveLetter)));

  const platform::MediumIdentity& id = record.identity;
  file.SetValue(kMedium, "size", std::to_string(id.sizeBytes));
  file.SetValue(kMedium, "writeTime", std::to_string(id.writeTime));
  file.SetValue(kMedium, "serial", OneLine(id.serial));
  file.SetValue(kMedium, "partitionUuid", id.partitionUuid);
  file.SetValue(kMedium, "fileSystemUuid", id.fileSystemUuid);
  file.SetValue(kMedium, "freeBytes", std::to_string(record.freeBytes));

  file.SetValue(kResult, "state", ScanStateName(record.state));
  file.SetValue(kResult, "found", std::to_string(record.found));
  file.SetValue(kResult, "unreadableSectors", std::to_string(record.unreadableSectors));
  file.SetValue(kResult, "damaged", record.damaged ? "1" : "0");
  const auto notes = SplitLines(record.notes);
  for (std::size_t i = 0; i < notes.size() && i < kMostListed; ++i) {
    file.SetValue(kResult, "note" + std::to_string(i + 1), OneLine(notes[i]));
  }
  return file.Save(record.folder + std::string(kRecordFile));
}

ResultCode ScanCatalogue::LoadRecord(const std::string& folder, ScanRecord& out) {
  platform::ProfileFile file;
  if (const ResultCode rc = platform::ProfileFile::Load(folder + std::string(kRecordFile), file);
      rc != result::kSuccess) {
    return rc;
  }
  ScanRecord record;
  record.folder = folder;
  record.number = Number(file, kScan, "number");
  record.set = Number(file, kScan, "set");
  const auto mode = ParseRecoveryMode(Text(file, kScan, "mode"));
  if (!mode) return result::kInvalidParameter;  // not a record this program wrote
  record.mode = *mode;
  record.whole = Text(file, kScan, "whole") == "1";
  record.argument = Text(file, kScan, "argument");
  record.started = Number(file, kScan, "started");
  record.ended = Number(file, kScan, "ended");
  for (std::size_t i = 1; i <= kMostListed; ++i) {
    const auto log = file.Value(kScan, "log" + std::to_string(i));
    if (!log) break;
    record.logs.push_back(*log);
  }

  ScanArea& area = record.area;
  area.source.kind =
      Text(file, kArea, "source") == "disk" ? MediumSource::Kind::kDisk : MediumSource::Kind::kImage;
  area.source.path = Text(file, kArea, "path");
  area.source.diskNumber = static_cast<int>(Number(file, kArea, "disk"));
  if (Text(file, kArea, "disk") == "-1") area.source.diskNumber = -1;
  area.source.sectorBytes = static_cast<std::uint32_t>(Number(file, kArea, "sectorBytes"));
  if (area.source.sectorBytes == 0) area.source.sectorBytes = 512;
  area.kind = ParseAreaKind(Text(file, kArea, "kind"));
  area.sectors = SectorRun::Make(Number(file, kArea, "firstSector"), Number(file, kArea, "sectors"))
                     .value_or(SectorRun{});
  area.number = static_cast<int>(Number(file, kArea, "number"));
  area.partitionNumber = static_cast<int>(Number(file, kArea, "partition"));
  area.type = static_cast<std::uint8_t>(Number(file, kArea, "type"));
  area.fileSystem = Text(file, kArea, "fileSystem");
  area.label = Text(file, kArea, "label");
  area.devicePath = Text(file, kArea, "device");
  area.mountPoint = Text(file, kArea, "mountPoint");
  area.driveLetter = static_cast<char16_t>(Number(file, kArea, "letter"));

  platform::MediumIdentity& id = record.identity;
  id.isDevice = !area.source.IsImage();
  id.sizeBytes = Number(file, kMedium, "size");
  id.writeTime = Number(file, kMedium, "writeTime");
  id.serial = Text(file, kMedium, "serial");
  id.partitionUuid = Text(file, kMedium, "partitionUuid");
  id.fileSystemUuid = Text(file, kMedium, "fileSystemUuid");
  record.freeBytes = Number(file, kMedium, "freeBytes");

  record.state = ParseState(Text(file, kResult, "state"));
  record.found = Number(file, kResult, "found");
  record.unreadableSectors = Number(file, kResult, "unreadableSectors");
  record.damaged = Text(file, kResult, "damaged") == "1";
  for (std::size_t i = 1; i <= kMostListed; ++i) {
    const auto note = file.Value(kResult, "note" + std::to_string(i));
    if (!note) break;
    if (!record.notes.empty()) record.notes += '\n';
    record.notes += *note;
  }
  out = std::move(record);
  return result::kSuccess;
}

ResultCode ScanCatalogue::RecordProgress(const ScanRecord& record, const ScanResumePoint& resume) {
  platform::FileLock lock;
  if (const ResultCode rc = lock.Acquire(LockPath()); rc != result::kSuccess) return rc;
  ScanHistory history(root_, freeBytes_);
  const HistoryKey key = KeyOf(record.area);
  return history.RecordScanProgress(key.volumeRoot, key.diskNumber, record.area.sectors.First(),
                                    record.area.sectors.Count(), resume, record.folder,
                                    key.imagePath, KindOf(record.mode, record.whole));
}

bool ScanCatalogue::FindResumable(const ScanArea& area, bool whole, ScanHistoryEntry& entry,
                                  ScanRecord& record) {
  platform::FileLock lock;
  if (lock.Acquire(LockPath()) != result::kSuccess) return false;
  ScanHistory history(root_, freeBytes_);
  const HistoryKey key = KeyOf(area);
  const ScanKind kind = KindOf(RecoveryMode::kDeep, whole);
  const std::size_t before = history.Entries().size();
  bool found = false;
  if (area.source.IsImage()) {
    found = history.FindImageScan(
        key.imagePath, entry, kind,
        ScanHistory::ImageArea{area.sectors.First(), area.sectors.Count()});
  } else {
    found = history.FindPartitionScan(key.diskNumber, area.sectors.First(), area.sectors.Count(),
                                      key.volumeRoot, entry, kind);
  }
  if (found && LoadRecord(entry.scanFolder, record) != result::kSuccess) {
    // The folder's record is gone: nothing there can be resumed.
    history.ForgetScanFolder(entry.scanFolder);
    found = false;
  }
  // A stale entry forgotten by the find is gone for good.
  if (history.Entries().size() != before) history.Save();
  return found;
}

ResultCode ScanCatalogue::Forget(const std::string& folder) {
  platform::FileLock lock;
  if (const ResultCode rc = lock.Acquire(LockPath()); rc != result::kSuccess) return rc;
  ScanHistory history(root_, freeBytes_);
  const ResultCode rc = history.ForgetScanFolder(folder);
  const ResultCode saved = history.Save();
  return rc != result::kSuccess ? rc : saved;
}

std::vector<ScanRecord> ScanCatalogue::Scans() const {
  std::vector<ScanRecord> scans;
  std::vector<std::string> names;
  if (platform::ListFolder(root_, names) != result::kSuccess) return scans;
  for (const std::string& name : names) {
    std::uint64_t number = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (ec != std::errc() || end != name.data() + name.size()) continue;
    ScanRecord record;
    if (LoadRecord(root_ + "/" + name + "/", record) != result::kSuccess) continue;
    record.number = number;
    scans.push_back(std::move(record));
  }
  std::sort(scans.begin(), scans.end(),
            [](const ScanRecord& a, const ScanRecord& b) { return a.number > b.number; });
  return scans;
}

ScanHistory ScanCatalogue::History() const {
  return ScanHistory(root_, freeBytes_);
}

}  // namespace keldrive
