#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/scan_history.h"
#include "platform/device_identity.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"
#include "session/recovery_mode.h"
#include "session/scan_area.h"

namespace keldrive {

// Where a scan got to.
enum class ScanState { kRunning, kFinished, kStopped, kFailed };
std::string_view ScanStateName(ScanState state);

// What a scan folder says about the scan that made it; kept beside its logs in
// "keldrive-scan.ini", so that any later command, and the desktop program, can find the
// scans of a medium, load them and tell whether the medium changed since.
struct ScanRecord {
  std::uint64_t number = 0;  // the scan folder's number
  std::string folder;        // the scan folder, ending in "/"
  std::uint64_t set = 0;     // scans made together (the volumes of one image) share this
  RecoveryMode mode = RecoveryMode::kDeleted;
  bool whole = false;    // professional scans of every sector, used or not
  std::string argument;  // what the user named (MEDIUM), for messages
  ScanArea area;
  platform::MediumIdentity identity;  // of the medium when the scan began
  std::uint64_t freeBytes = 0;        // of a mounted volume when the scan began; 0 if not
  std::vector<std::string> logs;      // the scan logs in the folder, by name
  ScanState state = ScanState::kRunning;
  std::uint64_t started = 0;  // FILETIME, UTC
  std::uint64_t ended = 0;
  std::uint64_t found = 0;              // records in the logs
  std::uint64_t unreadableSectors = 0;  // sectors that could not be read during the scan
  bool damaged = false;                 // the file system was damaged or cut short
  std::string notes;                    // what the engines said of the medium, one line each
};

// How a medium stands against an earlier scan of it.
enum class MediumMatch {
  kSame,
  kChanged,  // same place, but size, write time or ids differ: the old logs are stale
  kOther,    // another medium or area altogether
};

// The identity of the medium that holds an area now, as a scan would record it.
struct AreaIdentity {
  platform::MediumIdentity identity;
  std::uint64_t freeBytes = 0;
};
bool QueryAreaIdentity(const ScanArea& area, AreaIdentity& out,
                       const platform::SystemRoots& roots = platform::SystemRoots{});

MediumMatch CompareMedium(const ScanRecord& record, const ScanArea& area,
                          const AreaIdentity& now);

// The scan history (where professional scans got to, in "config") together with
// the record of every scan folder. Several processes may share one scan-log root: every
// change of "config" happens under a lock on "config.lock", after reading the file afresh,
// and scan folders are created exclusively, so no two scans ever share a folder, none is
// lost, and the scan number never goes backwards.
class ScanCatalogue {
 public:
  explicit ScanCatalogue(std::string root,
                         FreeBytesQuery freeBytes = ScanHistory::DefaultFreeBytesQuery());

  const std::string& Root() const { return root_; }

  // Claims a new scan folder for `record` (its number and folder are filled in), saves the
  // scan number at once, and writes the record (state running).
  ResultCode BeginScan(ScanRecord& record);

  // Rewrites the record in its folder; the file is replaced in one step.
  ResultCode SaveRecord(const ScanRecord& record) const;

  // Records in the scan history where the scan of the record's area got to, as a later
  // scan of the same kind may go on from there.
  ResultCode RecordProgress(const ScanRecord& record, const ScanResumePoint& resume);

  // An earlier professional scan of the area that may be resumed: its history entry and
  // its record. An entry whose medium changed since is forgotten with its folder.
  bool FindResumable(const ScanArea& area, bool whole, ScanHistoryEntry& entry,
                     ScanRecord& record);

  // Drops the scan's history entry and deletes its folder (only inside the root).
  ResultCode Forget(const std::string& folder);

  // Every scan folder's record, newest first. Folders without a readable record are
  // skipped.
  std::vector<ScanRecord> Scans() const;

  // The history entries, as "config" holds them now.
  ScanHistory History() const;

  static ResultCode LoadRecord(const std::string& folder, ScanRecord& out);

 private:
  std::string LockPath() const;

  std::string root_;
  FreeBytesQuery freeBytes_;
};

// The ScanKind a scan is recorded under.
ScanKind KindOf(RecoveryMode mode, bool whole);

}  // namespace keldrive
