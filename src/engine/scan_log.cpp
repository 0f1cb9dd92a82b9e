#include "engine/scan_log.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <limits>
#include <numeric>
#include <unordered_set>
#include <utility>

#include "disk/byte_reader.h"
#include "engine/file_category.h"
#include "platform/folder_tree.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kNoParent = std::numeric_limits<std::uint64_t>::max();
// Deeper than any real folder tree; a chain this long can only come from a damaged log.
constexpr std::size_t kMaxParentChain = 4096;
// Relation text is written in pieces of about this size.
constexpr std::size_t kRelationPieceBytes = 1 << 20;

std::span<std::uint8_t, kFoundFileBytes> RecordSlot(std::vector<std::uint8_t>& bytes,
                                                    std::size_t index) {
  return std::span<std::uint8_t, kFoundFileBytes>(bytes.data() + index * kFoundFileBytes,
                                                  kFoundFileBytes);
}

std::span<const std::uint8_t, kFoundFileBytes> RecordAt(const std::vector<std::uint8_t>& bytes,
                                                        std::size_t index) {
  return std::span<const std::uint8_t, kFoundFileBytes>(bytes.data() + index * kFoundFileBytes,
                                                        kFoundFileBytes);
}

// A 32-bit field of a stored record, read through the checked reader.
std::uint32_t Field32(std::span<const std::uint8_t> record, std::size_t offset) {
  return ByteReader(record).le32At(offset);
}

// The stored name of a record, up to its terminator.
std::string_view StoredName(std::span<const std::uint8_t, kFoundFileBytes> record) {
  const char* name = reinterpret_cast<const char*>(record.data() + found_file_offset::kName);
  std::size_t length = 0;
  while (length < kFoundFileNameBytes - 1 && name[length] != '\0') ++length;
  return {name, length};
}

ResultCode ReadWhole(platform::FileHandle& file, std::vector<std::uint8_t>& out) {
  std::uint64_t size = 0;
  if (const ResultCode rc = file.QuerySize(size); rc != result::kSuccess) return rc;
  out.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < out.size()) {
    std::size_t got = 0;
    const ResultCode rc = file.ReadAt(done, std::span(out).subspan(done), got);
    if (rc != result::kSuccess) return rc;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return result::kSuccess;
}

unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool NameLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = LowerAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = LowerAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

}  // namespace

ScanLog::~ScanLog() {
  Close();
}

ResultCode ScanLog::Open(const std::string& folder, const std::string& name) {
  Close();
  ResetState();
  if (const ResultCode rc = platform::CreateFolderTree(folder); rc != result::kSuccess) return rc;
  const std::string base = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
  recordsPath_ = base;
  if (const ResultCode rc = platform::FileHandle::OpenAlways(base, records_);
      rc != result::kSuccess) {
    return rc;
  }
  if (const ResultCode rc = platform::FileHandle::OpenAlways(base + "_Relation", relationFile_);
      rc != result::kSuccess) {
    records_.Close();
    return rc;
  }
  std::uint64_t size = 0;
  if (const ResultCode rc = records_.QuerySize(size); rc != result::kSuccess) {
    Close();
    return rc;
  }
  // A loaded log goes on numbering after its records; a torn last record is overwritten.
  recordCount_ = writtenRecords_ = size / kFoundFileBytes;

  std::vector<std::uint8_t> text;
  if (ReadWhole(relationFile_, text) == result::kSuccess && !text.empty()) {
    relation_ = ParseRelationText(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), recordCount_);
  }
  queue_.reserve(kBufferBytes);

  if (platform::FileHandle::OpenAlways(base + "_DirInfo", dirInfoFile_) != result::kSuccess) {
    return result::kSuccess;
  }
  std::vector<std::uint8_t> names;
  if (ReadWhole(dirInfoFile_, names) == result::kSuccess) {
    for (std::size_t at = 0; at + kDirInfoEntryBytes <= names.size(); at += kDirInfoEntryBytes) {
      folderNames_.push_back(ParseDirInfoEntry(std::span<const std::uint8_t, kDirInfoEntryBytes>(
          names.data() + at, kDirInfoEntryBytes)));
    }
  }
  writtenFolderNames_ = folderNames_.size();
  return result::kSuccess;
}

void ScanLog::ResetState() {
  recordsPath_.clear();
  recordCount_ = writtenRecords_ = 0;
  queue_.clear();
  pendingError_ = result::kSuccess;
  relation_.clear();
  relationChanged_ = false;
  folderNames_.clear();
  writtenFolderNames_ = 0;
  parentKey_.clear();
  folderNameIndex_.clear();
  folderRecordIndex_.clear();
  parentsIndexed_ = folderRecordsIndexed_ = false;
}

void ScanLog::Close() {
  if (records_.IsOpen()) Flush();
  records_.Close();
  relationFile_.Close();
  dirInfoFile_.Close();
}

std::uint32_t ScanLog::AppendRecord(FoundFile& record) {
  if (queue_.size() + kFoundFileBytes > kBufferBytes) {
    const ResultCode rc = WriteQueue();
    if (rc != result::kSuccess && pendingError_ == result::kSuccess) pendingError_ = rc;
  }
  ++recordCount_;
  record.recordNumber = static_cast<std::uint32_t>(recordCount_);
  if (folderRecordsIndexed_ && record.isFolder != 0) {
    folderRecordIndex_.emplace(record.startCluster, record.recordNumber);
  }
  queue_.resize(queue_.size() + kFoundFileBytes);
  SerializeFoundFile(record, RecordSlot(queue_, queue_.size() / kFoundFileBytes - 1));
  return record.recordNumber;
}

ResultCode ScanLog::UpdateRecord(const FoundFile& record) {
  const std::uint64_t number = record.recordNumber;
  if (number == 0 || number > recordCount_) return result::kInvalidParameter;
  if (record.isFolder != 0) folderRecordsIndexed_ = false;
  if (number > writtenRecords_) {
    SerializeFoundFile(record, RecordSlot(queue_, number - writtenRecords_ - 1));
    return result::kSuccess;
  }
  std::array<std::uint8_t, kFoundFileBytes> bytes{};
  SerializeFoundFile(record, bytes);
  return records_.WriteAt((number - 1) * kFoundFileBytes, bytes);
}

ResultCode ScanLog::WriteQueue() {
  if (queue_.empty()) return result::kSuccess;
  // The queue holds the records after the written ones; they go exactly there, whatever
  // the file's current position.
  const ResultCode rc = records_.WriteAt(writtenRecords_ * kFoundFileBytes, queue_);
  writtenRecords_ += queue_.size() / kFoundFileBytes;
  queue_.clear();
  return rc;
}

void ScanLog::AddChild(std::uint32_t folderCluster, std::uint32_t depth, std::uint32_t recordNumber,
                       std::uint32_t firstCluster, std::optional<std::string_view> folderName) {
  relation_[FolderKey{folderCluster, depth}.Value()].push_back(recordNumber);
  relationChanged_ = true;
  parentsIndexed_ = false;
  if (folderName) {
    DirInfoEntry entry;
    entry.firstCluster = firstCluster;
    entry.recordNumber = recordNumber;
    entry.SetName(*folderName);
    folderNames_.push_back(entry);
    folderNameIndex_.clear();
  }
}

ResultCode ScanLog::Flush() {
  if (!records_.IsOpen()) return result::kInvalidHandle;
  ResultCode rc = WriteQueue();
  if (rc == result::kSuccess) rc = std::exchange(pendingError_, result::kSuccess);
  if (rc != result::kSuccess) return rc;
  if (relationChanged_) {
    if (rc = WriteRelation(); rc != result::kSuccess) return rc;
    relationChanged_ = false;
  }
  return WriteFolderNames();
}

ResultCode ScanLog::WriteRelation() {
  std::string piece;
  std::uint64_t offset = 0;
  const auto writePiece = [&]() {
    const ResultCode rc = relationFile_.WriteAt(
        offset, std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
    offset += piece.size();
    piece.clear();
    return rc;
  };
  for (const auto& [key, children] : relation_) {
    AppendRelationGroup(piece, key, children);
    if (piece.size() >= kRelationPieceBytes) {
      if (const ResultCode rc = writePiece(); rc != result::kSuccess) return rc;
    }
  }
  if (const ResultCode rc = writePiece(); rc != result::kSuccess) return rc;
  // A log loaded with a damaged tail may have held more text than its groups give now.
  return relationFile_.Truncate(offset);
}

ResultCode ScanLog::WriteFolderNames() {
  if (!dirInfoFile_.IsOpen()) return result::kSuccess;
  ResultCode firstError = result::kSuccess;
  // Names are only ever added, so only the new ones need writing.
  for (; writtenFolderNames_ < folderNames_.size(); ++writtenFolderNames_) {
    std::array<std::uint8_t, kDirInfoEntryBytes> bytes{};
    SerializeDirInfoEntry(folderNames_[writtenFolderNames_], bytes);
    const ResultCode rc = dirInfoFile_.WriteAt(writtenFolderNames_ * kDirInfoEntryBytes, bytes);
    if (rc != result::kSuccess && firstError == result::kSuccess) firstError = rc;
  }
  return firstError;
}

ResultCode ScanLog::ReadBlock(std::uint64_t first, std::size_t count,
                              std::vector<std::uint8_t>& out) {
  out.resize(count * kFoundFileBytes);
  std::size_t done = 0;
  // Records still queued come from memory, the others from the file.
  while (done < count && first + done <= writtenRecords_) {
    const std::size_t fromFile = static_cast<std::size_t>(
        std::min<std::uint64_t>(count - done, writtenRecords_ - (first + done) + 1));
    std::size_t bytes = 0;
    const auto target = std::span(out).subspan(done * kFoundFileBytes, fromFile * kFoundFileBytes);
    std::size_t got = 0;
    while (bytes < target.size()) {
      const ResultCode rc =
          records_.ReadAt((first + done - 1) * kFoundFileBytes + bytes, target.subspan(bytes), got);
      if (rc != result::kSuccess) return rc;
      if (got == 0) return result::kReadFault;
      bytes += got;
    }
    done += fromFile;
  }
  if (done < count) {
    const std::size_t queued = static_cast<std::size_t>(first + done - writtenRecords_ - 1);
    std::copy_n(queue_.begin() + static_cast<std::ptrdiff_t>(queued * kFoundFileBytes),
                (count - done) * kFoundFileBytes,
                out.begin() + static_cast<std::ptrdiff_t>(done * kFoundFileBytes));
  }
  return result::kSuccess;
}

ResultCode ScanLog::ReadRecord(std::uint64_t number, FoundFile& out) {
  if (!records_.IsOpen()) return result::kInvalidHandle;
  if (number == 0 || number > recordCount_) return result::kInvalidParameter;
  std::vector<std::uint8_t> bytes;
  if (const ResultCode rc = ReadBlock(number, 1, bytes); rc != result::kSuccess) return rc;
  out = ParseFoundFile(RecordAt(bytes, 0));
  return result::kSuccess;
}

const std::vector<std::uint32_t>* ScanLog::FindChildren(FolderKey folder) const {
  if (folder.cluster == 0 && folder.depth == 0) {
    return relation_.empty() ? nullptr : &relation_.begin()->second;
  }
  const auto it = relation_.find(folder.Value());
  return it == relation_.end() ? nullptr : &it->second;
}

ResultCode ScanLog::ListChildren(FolderKey folder, std::vector<FoundFile>& out) {
  if (const ResultCode rc = Flush(); rc != result::kSuccess) return rc;
  const std::vector<std::uint32_t>* children = FindChildren(folder);
  if (children == nullptr) return result::kSuccess;
  out.reserve(out.size() + children->size());
  // Children are mostly numbered in runs, so records are read a block at a time.
  std::vector<std::uint8_t> block;
  std::uint64_t blockFirst = 0;
  for (const std::uint32_t number : *children) {
    if (number == 0 || number > recordCount_) continue;
    if (blockFirst == 0 || number < blockFirst || number >= blockFirst + kBufferRecords) {
      blockFirst = number;
      const std::size_t count = static_cast<std::size_t>(
          std::min<std::uint64_t>(kBufferRecords, recordCount_ - number + 1));
      if (const ResultCode rc = ReadBlock(blockFirst, count, block); rc != result::kSuccess) {
        SortForListing(out);
        return rc;
      }
    }
    FoundFile record = ParseFoundFile(RecordAt(block, number - blockFirst));
    if (IsHiddenBrokenPhoto(record.Name(), record.isFolder != 0, record.contentOk != 0)) continue;
    out.push_back(record);
  }
  if (out.size() > 1) SortForListing(out);
  return result::kSuccess;
}

ResultCode ScanLog::CountSubtreeFiles(FolderKey folder, std::uint64_t& count) {
  count = 0;
  if (const ResultCode rc = Flush(); rc != result::kSuccess) return rc;
  // Each folder is counted once, however many records claim it: a damaged log must not
  // make the walk revisit a subtree again and again.
  if (folder.cluster == 0 && folder.depth == 0 && !relation_.empty()) {
    folder = FolderKey::FromValue(relation_.begin()->first);
  }
  std::unordered_set<std::uint64_t> seen;
  std::deque<FolderKey> queue{folder};
  std::vector<std::uint8_t> block;
  std::uint64_t blockFirst = 0;
  while (!queue.empty()) {
    const FolderKey key = queue.front();
    queue.pop_front();
    const auto found = relation_.find(key.Value());
    if (found == relation_.end() || !seen.insert(key.Value()).second) continue;
    const std::vector<std::uint32_t>* children = &found->second;
    for (const std::uint32_t number : *children) {
      if (number == 0 || number > recordCount_) continue;
      if (blockFirst == 0 || number < blockFirst || number >= blockFirst + kBufferRecords) {
        blockFirst = number;
        const std::size_t blockCount = static_cast<std::size_t>(
            std::min<std::uint64_t>(kBufferRecords, recordCount_ - number + 1));
        if (const ResultCode rc = ReadBlock(blockFirst, blockCount, block);
            rc != result::kSuccess) {
          return rc;
        }
      }
      const auto record = std::span<const std::uint8_t>(block).subspan(
          static_cast<std::size_t>(number - blockFirst) * kFoundFileBytes, kFoundFileBytes);
      if (Field32(record, found_file_offset::kIsFolder) != 0) {
        if (key.depth != std::numeric_limits<std::uint32_t>::max()) {
          queue.push_back({Field32(record, found_file_offset::kStartCluster), key.depth + 1});
        }
      } else {
        ++count;
      }
    }
  }
  return result::kSuccess;
}

std::int32_t ScanLog::ForEachOfType(
    std::string_view patterns,
    const std::function<void(std::uint32_t, std::span<const std::uint8_t, kFoundFileBytes>)>&
        visit) {
  if (!records_.IsOpen() || Flush() != result::kSuccess) return 0;
  std::string lowered(patterns);
  for (char& c : lowered) c = static_cast<char>(LowerAscii(static_cast<unsigned char>(c)));
  const bool otherMode = lowered.find(".other") != std::string::npos;
  const std::string& categories = AllCategoriesList();
  std::vector<std::uint8_t> block;
  std::string dotted;
  for (std::uint64_t first = 1; first <= recordCount_; first += kBufferRecords) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBufferRecords, recordCount_ - first + 1));
    if (ReadBlock(first, count, block) != result::kSuccess) break;
    for (std::size_t i = 0; i < count; ++i) {
      const auto record = RecordAt(block, i);
      if (Field32(record, found_file_offset::kIsFolder) != 0) continue;
      const std::string extension = ExtensionOf(StoredName(record));
      bool matched;
      if (extension.empty()) {
        matched = otherMode;
      } else {
        if (Field32(record, found_file_offset::kContentOk) == 0 &&
            PatternListContains(kPhotoPatterns, extension)) {
          continue;
        }
        dotted = "." + extension;
        matched = PatternListContains(lowered, dotted) ||
                  (otherMode && !PatternListContains(categories, dotted));
      }
      if (matched) visit(static_cast<std::uint32_t>(first + i), record);
    }
    if (listCallback_ != nullptr) {
      const auto percent = static_cast<std::int32_t>((first + count - 1) * 100 / recordCount_);
      if (listCallback_(listContext_, percent, 0) != 0) break;
    }
  }
  return 1;
}

std::int32_t ScanLog::SelectByType(std::string_view patterns, std::vector<std::uint32_t>& out) {
  struct Match {
    std::uint32_t number;
    std::string name;
  };
  std::vector<Match> matches;
  const std::int32_t readable = ForEachOfType(
      patterns, [&](std::uint32_t number, std::span<const std::uint8_t, kFoundFileBytes> record) {
        matches.push_back({number, std::string(StoredName(record))});
      });
  if (readable == 0) return 0;
  // Only files are selected, so the listing order is the order of their names.
  std::stable_sort(matches.begin(), matches.end(),
                   [](const Match& a, const Match& b) { return NameLess(a.name, b.name); });
  out.clear();
  out.reserve(matches.size());
  for (const Match& match : matches) out.push_back(match.number);
  return 1;
}

std::int32_t ScanLog::VisitByType(std::string_view patterns,
                                  const std::function<void(const FoundFile&)>& visit) {
  return ForEachOfType(patterns,
                       [&](std::uint32_t, std::span<const std::uint8_t, kFoundFileBytes> record) {
                         visit(ParseFoundFile(record));
                       });
}

std::int32_t ScanLog::SelectByType(std::string_view patterns, std::vector<FoundFile>& out) {
  std::vector<std::uint32_t> numbers;
  if (SelectByType(patterns, numbers) == 0) return 0;
  out.reserve(out.size() + numbers.size());
  FoundFile record;
  for (const std::uint32_t number : numbers) {
    if (ReadRecord(number, record) == result::kSuccess) out.push_back(record);
  }
  return 1;
}

void ScanLog::IndexParents() {
  if (parentsIndexed_) return;
  parentKey_.assign(static_cast<std::size_t>(recordCount_) + 1, kNoParent);
  for (const auto& [key, children] : relation_) {
    for (const std::uint32_t child : children) {
      if (child < parentKey_.size() && parentKey_[child] == kNoParent) parentKey_[child] = key;
    }
  }
  if (folderNameIndex_.empty()) {
    for (std::size_t i = 0; i < folderNames_.size(); ++i) {
      folderNameIndex_.emplace(folderNames_[i].firstCluster, i);
    }
  }
  parentsIndexed_ = true;
}

std::optional<std::uint32_t> ScanLog::FindFolderRecord(std::uint32_t cluster) {
  if (!folderRecordsIndexed_) {
    std::vector<std::uint8_t> block;
    for (std::uint64_t first = 1; first <= recordCount_; first += kBufferRecords) {
      const std::size_t count = static_cast<std::size_t>(
          std::min<std::uint64_t>(kBufferRecords, recordCount_ - first + 1));
      if (ReadBlock(first, count, block) != result::kSuccess) break;
      for (std::size_t i = 0; i < count; ++i) {
        const auto record =
            std::span<const std::uint8_t>(block).subspan(i * kFoundFileBytes, kFoundFileBytes);
        if (Field32(record, found_file_offset::kIsFolder) == 0) continue;
        folderRecordIndex_.emplace(Field32(record, found_file_offset::kStartCluster),
                                   static_cast<std::uint32_t>(first + i));
      }
    }
    folderRecordsIndexed_ = true;
  }
  const auto it = folderRecordIndex_.find(cluster);
  if (it == folderRecordIndex_.end()) return std::nullopt;
  return it->second;
}

ResultCode ScanLog::BuildParentChain(const FoundFile& record, std::vector<FoundFile>& chain) {
  chain.clear();
  if (const ResultCode rc = Flush(); rc != result::kSuccess) return rc;
  IndexParents();
  std::unordered_set<std::uint32_t> visited{record.recordNumber};
  std::uint32_t current = record.recordNumber;
  while (chain.size() < kMaxParentChain) {
    if (current >= parentKey_.size() || parentKey_[current] == kNoParent) break;
    const std::uint32_t cluster = FolderKey::FromValue(parentKey_[current]).cluster;

    FoundFile parent;
    if (const auto named = folderNameIndex_.find(cluster); named != folderNameIndex_.end()) {
      const DirInfoEntry& entry = folderNames_[named->second];
      if (entry.recordNumber == record.recordNumber) break;
      parent.isFolder = 1;
      parent.recordNumber = entry.recordNumber;
      parent.startCluster = entry.firstCluster;
      parent.SetName(entry.Name());
    } else if (const auto number = FindFolderRecord(cluster)) {
      if (ReadRecord(*number, parent) != result::kSuccess) break;
    } else {
      break;  // the root has no folder record
    }
    if (!visited.insert(parent.recordNumber).second) break;  // a cycle in a damaged log
    chain.push_back(parent);
    current = parent.recordNumber;
  }
  return result::kSuccess;
}

void SortForListing(std::vector<FoundFile>& records) {
  std::vector<std::size_t> order(records.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const bool folderA = records[a].isFolder != 0, folderB = records[b].isFolder != 0;
    if (folderA != folderB) return !folderA;
    return NameLess(records[a].Name(), records[b].Name());
  });
  // Apply the order in place, cycle by cycle, so a long listing is not held twice.
  for (std::size_t start = 0; start < order.size(); ++start) {
    if (order[start] == start) continue;
    FoundFile held = records[start];
    std::size_t at = start;
    while (order[at] != start) {
      const std::size_t from = order[at];
      records[at] = records[from];
      order[at] = at;
      at = from;
    }
    records[at] = held;
    order[at] = at;
  }
}

}  // namespace keldrive
