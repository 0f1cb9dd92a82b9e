#include "app/scan_history.h"

#include <algorithm>
#include <array>

#include "disk/byte_reader.h"
#include "disk/medium_queries.h"
#include "platform/file_handle.h"
#include "platform/file_replace.h"
#include "platform/folder_tree.h"
#include "platform/path_info.h"

namespace keldrive {
namespace {

constexpr const char* kHistoryFile = "/config";
constexpr const char* kHistoryTempFile = "/config.tmp";
constexpr std::size_t kHeaderSize = 8;  // the scan number
// Far more scans than anyone runs; a larger file is damaged and its tail is not read.
constexpr std::size_t kMostEntries = 65536;

bool EqualNoCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// Reads until `out` is full or the file ends; returns the bytes read.
std::size_t ReadFull(platform::FileHandle& file, std::span<std::uint8_t> out) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    std::size_t got = 0;
    if (file.Read(out.subspan(filled), got) != result::kSuccess || got == 0) break;
    filled += got;
  }
  return filled;
}

bool IsSeparator(char c) {
  return c == '/' || (platform::kBackslashSeparates && c == '\\');
}

// True when `path` names something strictly inside `root`, after every link is resolved.
// Windows resolves to "C:\a\b": the separator after the root may be either.
bool LiesInside(const std::string& root, const std::string& path) {
  std::string realRoot, realPath;
  if (platform::ResolvePath(root, realRoot) != result::kSuccess ||
      platform::ResolvePath(path, realPath) != result::kSuccess) {
    return false;
  }
  if (realRoot.empty() || realPath.size() <= realRoot.size() || !realPath.starts_with(realRoot)) {
    return false;
  }
  // "/" and "C:\" end with their separator; otherwise one must follow the root.
  return IsSeparator(realRoot.back()) ||
         (IsSeparator(realPath[realRoot.size()]) && realPath.size() > realRoot.size() + 1);
}

}  // namespace

FreeBytesQuery ScanHistory::DefaultFreeBytesQuery() {
  return [](const std::string& volumeRoot, std::uint64_t& freeBytes) {
    return GetFreeBytes(volumeRoot, freeBytes);
  };
}

ScanHistory::ScanHistory(std::string root, FreeBytesQuery freeBytes)
    : root_(std::move(root)), freeBytes_(std::move(freeBytes)) {
  Load();
}

void ScanHistory::Load() {
  const std::string path = root_ + kHistoryFile;
  const std::string temporary = root_ + kHistoryTempFile;
  std::string source = path;
  if (platform::QueryPathKind(path) == platform::PathKind::kMissing &&
      platform::QueryPathKind(temporary) == platform::PathKind::kRegularFile) {
    // A save stopped between writing the new history and putting it in place.
    if (platform::ReplaceFile(temporary, path) != result::kSuccess) source = temporary;
  }
  platform::FileHandle file;
  if (platform::FileHandle::OpenReadOnly(source, file) != result::kSuccess) return;

  std::array<std::uint8_t, kHeaderSize> header{};
  if (ReadFull(file, header) != header.size()) return;
  scanNumber_ = ByteReader(header).le64();

  std::array<std::uint8_t, kScanHistoryEntrySize> block{};
  for (;;) {
    const std::size_t got = ReadFull(file, block);
    if (got < block.size()) break;  // the end, or a partial entry of an interrupted write
    if (entries_.size() == kMostEntries) {
      ++skippedEntries_;
      break;
    }
    ScanHistoryEntry entry;
    if (ParseScanHistoryEntry(block, entry)) {
      entries_.push_back(std::move(entry));
    } else {
      ++skippedEntries_;
    }
  }
}

ResultCode ScanHistory::Save() const {
  std::vector<std::uint8_t> bytes(kHeaderSize + entries_.size() * kScanHistoryEntrySize);
  for (std::size_t i = 0; i < kHeaderSize; ++i) {
    bytes[i] = static_cast<std::uint8_t>(scanNumber_ >> (8 * i));
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const std::span<std::uint8_t, kScanHistoryEntrySize> block(
        bytes.data() + kHeaderSize + i * kScanHistoryEntrySize, kScanHistoryEntrySize);
    if (const ResultCode rc = SerializeScanHistoryEntry(entries_[i], block);
        rc != result::kSuccess) {
      return rc;
    }
  }

  if (const ResultCode rc = platform::CreateFolderTree(root_); rc != result::kSuccess) return rc;
  // "config" is replaced only by a complete, flushed "config.tmp": whenever the program
  // stops, one of the two holds a whole history.
  const std::string temporary = root_ + kHistoryTempFile;
  platform::FileHandle file;
  ResultCode rc = platform::FileHandle::CreateAlways(temporary, file);
  if (rc == result::kSuccess) rc = file.Write(bytes);
  if (rc == result::kSuccess) rc = file.Flush();
  file.Close();
  if (rc == result::kSuccess) rc = platform::ReplaceFile(temporary, root_ + kHistoryFile);
  // A partial "config.tmp" left behind would be taken for a finished save.
  if (rc != result::kSuccess) platform::RemoveFile(temporary);
  return rc;
}

std::string ScanHistory::GetCurrentScanFolder() const {
  if (earlierScanFound_) return earlierScanFolder_;
  return root_ + "/" + std::to_string(scanNumber_) + "/";
}

ResultCode ScanHistory::BeginNewScanFolder() {
  ++scanNumber_;
  earlierScanFound_ = false;
  earlierScanFolder_.clear();
  return ForgetScanFolder(root_ + "/" + std::to_string(scanNumber_) + "/");
}

ResultCode ScanHistory::ClaimNewScanFolder(std::string& folder) {
  if (const ResultCode rc = platform::CreateFolderTree(root_); rc != result::kSuccess) return rc;
  earlierScanFound_ = false;
  earlierScanFolder_.clear();
  // Bounded: a root holding this many scan folders is not a place to add more to.
  for (int attempt = 0; attempt < 100000; ++attempt) {
    const std::uint64_t number = scanNumber_ + 1;
    const std::string path = root_ + "/" + std::to_string(number);
    const ResultCode rc = platform::CreateFolderExclusive(path);
    scanNumber_ = number;
    if (rc == result::kSuccess) {
      folder = path + "/";
      return result::kSuccess;
    }
    if (rc != result::kAlreadyExists) return rc;
  }
  return result::kAlreadyExists;
}

std::uint64_t ScanHistory::CurrentFreeBytes(const std::string& volumeRoot) const {
  std::uint64_t freeBytes = 0;
  if (volumeRoot.empty() || !freeBytes_ || freeBytes_(volumeRoot, freeBytes) != result::kSuccess) {
    return 0;
  }
  return freeBytes;
}

std::optional<std::size_t> ScanHistory::LocateArea(std::int32_t diskNumber,
                                                   std::uint64_t firstSector,
                                                   std::uint64_t sectorCount,
                                                   std::uint64_t freeBytes, ScanKind kind) {
  // Image entries carry an area too; they never stand for a disk area.
  const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return entry.imagePath.empty() && entry.kind == kind && entry.diskNumber == diskNumber &&
           entry.firstSector == firstSector && entry.sectorCount == sectorCount;
  });
  if (found == entries_.end()) return std::nullopt;
  if (found->freeBytes == freeBytes) return static_cast<std::size_t>(found - entries_.begin());
  ForgetScanFolder(std::string(found->scanFolder));  // the volume was written to since
  return std::nullopt;
}

std::optional<std::size_t> ScanHistory::LocateImage(const std::string& imagePath,
                                                    FileTime writeTime, ScanKind kind,
                                                    std::optional<ImageArea> area) {
  const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return entry.imagePath == imagePath && entry.kind == kind &&
           (!area ||
            (entry.firstSector == area->firstSector && entry.sectorCount == area->sectorCount));
  });
  if (found == entries_.end()) return std::nullopt;
  if (found->imageWriteTime == writeTime) return static_cast<std::size_t>(found - entries_.begin());
  ForgetScanFolder(std::string(found->scanFolder));  // the image was written to since
  return std::nullopt;
}

bool ScanHistory::Remember(std::optional<std::size_t> index, ScanHistoryEntry& out) {
  earlierScanFound_ = index.has_value();
  earlierScanFolder_.clear();
  if (!index) return false;
  out = entries_[*index];
  earlierScanFolder_ = out.scanFolder;
  return true;
}

bool ScanHistory::FindPartitionScan(std::int32_t diskNumber, std::uint64_t firstSector,
                                    std::uint64_t sectorCount, const std::string& volumeRoot,
                                    ScanHistoryEntry& out, ScanKind kind) {
  return Remember(
      LocateArea(diskNumber, firstSector, sectorCount, CurrentFreeBytes(volumeRoot), kind), out);
}

bool ScanHistory::FindImageScan(const std::string& imagePath, ScanHistoryEntry& out,
                                ScanKind kind, std::optional<ImageArea> area) {
  FileTime writeTime = 0;
  // An image we cannot look at now says nothing about whether it changed: keep its entry.
  if (platform::QueryLastWriteTime(imagePath, writeTime) != result::kSuccess) {
    return Remember(std::nullopt, out);
  }
  return Remember(LocateImage(imagePath, writeTime, kind, area), out);
}

ResultCode ScanHistory::RecordScanProgress(const std::string& volumeRoot, std::int32_t diskNumber,
                                           std::uint64_t firstSector, std::uint64_t sectorCount,
                                           const ScanResumePoint& resume,
                                           const std::string& scanFolder,
                                           const std::string& imagePath, ScanKind kind) {
  ScanHistoryEntry entry;
  entry.kind = kind;
  entry.diskNumber = diskNumber;
  entry.firstSector = firstSector;
  entry.sectorCount = sectorCount;
  entry.resume = resume;
  entry.scanFolder = scanFolder;
  std::optional<std::size_t> index;
  if (imagePath.empty()) {
    entry.freeBytes = CurrentFreeBytes(volumeRoot);
    index = LocateArea(diskNumber, firstSector, sectorCount, entry.freeBytes, kind);
  } else {
    entry.imagePath = imagePath;
    platform::QueryLastWriteTime(imagePath, entry.imageWriteTime);  // 0 when unreadable
    index = LocateImage(imagePath, entry.imageWriteTime, kind,
                        ImageArea{firstSector, sectorCount});
  }
  if (index) {
    entries_[*index].resume = resume;
    // A later scan of the same kind takes the entry over (a resumed scan keeps its folder).
    entries_[*index].scanFolder = scanFolder;
  } else {
    // Refuse an entry the file cannot hold before it is added, not when saving.
    std::array<std::uint8_t, kScanHistoryEntrySize> block{};
    if (const ResultCode rc = SerializeScanHistoryEntry(entry, block); rc != result::kSuccess) {
      return rc;
    }
    entries_.push_back(std::move(entry));
  }
  return Save();
}

ResultCode ScanHistory::ForgetScanFolder(const std::string& folder) {
  const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return EqualNoCase(entry.scanFolder, folder);
  });
  if (found != entries_.end()) entries_.erase(found);

  std::string path = folder;
  while (path.size() > 1 && (path.ends_with('/') || path.ends_with('\\'))) path.pop_back();
  if (platform::QueryPathKind(path) == platform::PathKind::kMissing) return result::kSuccess;
  // The path may come from a history file someone else wrote: never delete outside the root.
  if (!LiesInside(root_, path)) return result::kAccessDenied;
  return platform::DeleteFolderTree(path);
}

ResultCode ScanHistory::FindFileInFolder(const std::string& folder, std::string_view text,
                                         std::string& name) {
  name.clear();
  std::vector<std::string> names;
  if (const ResultCode rc = platform::ListFolder(folder, names); rc != result::kSuccess) {
    return rc;
  }
  for (const std::string& candidate : names) {
    if (!candidate.starts_with('.') && candidate.find(text) != std::string::npos) {
      name = candidate;
      break;
    }
  }
  return result::kSuccess;
}

}  // namespace keldrive
