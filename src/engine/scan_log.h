#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/dir_info.h"
#include "engine/found_file.h"
#include "engine/recovery_engine.h"
#include "engine/relation_file.h"
#include "platform/file_handle.h"

namespace keldrive {

// The findings of one scan, kept in three files of the scan folder so that a scan can find
// millions of files: the records (346 bytes each, numbered from 1), the relation from each
// folder to its children as text, and the names of the folders (268 bytes each). Only the
// relation and the folder names are held in memory; records are read back when asked for.
class ScanLog {
 public:
  static constexpr std::size_t kBufferRecords = 200;
  static constexpr std::size_t kBufferBytes = kBufferRecords * kFoundFileBytes;  // 69200

  ScanLog() = default;
  ~ScanLog();
  ScanLog(const ScanLog&) = delete;
  ScanLog& operator=(const ScanLog&) = delete;

  // Opens (creating when missing) the log `name` in `folder`, which is created with its
  // parents. An existing log is loaded: new records follow the ones already there.
  ResultCode Open(const std::string& folder, const std::string& name);
  bool IsOpen() const { return records_.IsOpen(); }
  // Flushes and closes the three files.
  void Close();

  // Numbers the record (the next number, stored in `record.recordNumber`) and queues it for
  // writing. A failed write of a full queue is reported by the next Flush.
  std::uint32_t AppendRecord(FoundFile& record);
  // Writes a record again in the place its number gives.
  ResultCode UpdateRecord(const FoundFile& record);

  // Files record `recordNumber` under the folder (cluster, depth); with a name, the record
  // is a folder whose own first cluster is `firstCluster` and whose name is kept.
  void AddChild(std::uint32_t folderCluster, std::uint32_t depth, std::uint32_t recordNumber,
                std::uint32_t firstCluster = 0,
                std::optional<std::string_view> folderName = std::nullopt);

  // Writes what is queued, and the relation and folder names when they changed.
  ResultCode Flush();

  std::uint64_t RecordCount() const { return recordCount_; }

  // Record `number` (from 1); 87 for a number outside the log.
  ResultCode ReadRecord(std::uint64_t number, FoundFile& out);

  // The children of a folder, sorted for listing; (0, 0) stands for the first folder of
  // the log. Photos whose content check failed are left out.
  ResultCode ListChildren(FolderKey folder, std::vector<FoundFile>& out);

  // The files in the whole subtree below a folder.
  ResultCode CountSubtreeFiles(FolderKey folder, std::uint64_t& count);

  // The numbers of the file records whose extension matches the pattern list, in listing
  // order. ".other" in the list also selects files of no category. Returns 1 when the
  // records could be read, else 0.
  std::int32_t SelectByType(std::string_view patterns, std::vector<std::uint32_t>& out);
  // The same, as records.
  std::int32_t SelectByType(std::string_view patterns, std::vector<FoundFile>& out);
  // The same records, handed over one by one in log order and never held together: for
  // summaries of scans of millions of files.
  std::int32_t VisitByType(std::string_view patterns,
                           const std::function<void(const FoundFile&)>& visit);

  // The folders above a record, nearest first, ending at the first one that has no folder
  // record (the root).
  ResultCode BuildParentChain(const FoundFile& record, std::vector<FoundFile>& chain);

  void SetListProgressCallback(ListProgressCallback callback, void* context) {
    listCallback_ = callback;
    listContext_ = context;
  }

  const std::string& RecordsPath() const { return recordsPath_; }
  const RelationMap& Relation() const { return relation_; }
  const std::vector<DirInfoEntry>& FolderNames() const { return folderNames_; }

 private:
  void ResetState();
  ResultCode WriteQueue();
  ResultCode WriteRelation();
  ResultCode WriteFolderNames();
  // The stored records of files that match the patterns, in log order.
  std::int32_t ForEachOfType(
      std::string_view patterns,
      const std::function<void(std::uint32_t, std::span<const std::uint8_t, kFoundFileBytes>)>&
          visit);
  // Reads records [first, first + count) into `out`, from the queue or the file.
  ResultCode ReadBlock(std::uint64_t first, std::size_t count, std::vector<std::uint8_t>& out);
  const std::vector<std::uint32_t>* FindChildren(FolderKey folder) const;
  void IndexParents();
  std::optional<std::uint32_t> FindFolderRecord(std::uint32_t cluster);

  platform::FileHandle records_;
  platform::FileHandle relationFile_;
  platform::FileHandle dirInfoFile_;
  std::string recordsPath_;

  std::uint64_t recordCount_ = 0;     // records in the log, written or queued
  std::uint64_t writtenRecords_ = 0;  // records already in the records file
  std::vector<std::uint8_t> queue_;   // records numbered writtenRecords_ + 1 on
  ResultCode pendingError_ = result::kSuccess;

  RelationMap relation_;
  bool relationChanged_ = false;
  std::vector<DirInfoEntry> folderNames_;
  std::size_t writtenFolderNames_ = 0;

  // Lookups for BuildParentChain, made on first use and dropped when the relation grows.
  std::vector<std::uint64_t> parentKey_;  // record number → folder key, or kNoParent
  std::unordered_map<std::uint32_t, std::size_t> folderNameIndex_;      // cluster → folder name
  std::unordered_map<std::uint32_t, std::uint32_t> folderRecordIndex_;  // cluster → record
  bool parentsIndexed_ = false;
  bool folderRecordsIndexed_ = false;

  ListProgressCallback listCallback_ = nullptr;
  void* listContext_ = nullptr;
};

// Listing order: files before folders, then by name ignoring the case of ASCII letters.
void SortForListing(std::vector<FoundFile>& records);

}  // namespace keldrive
