#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/sector_device.h"
#include "engine/byte_run.h"
#include "engine/found_file.h"
#include "platform/result_code.h"

namespace keldrive {

// The user stopped the work; every layer passes it up unchanged.
inline constexpr ResultCode ResultCancelled = result::kCancelled;

// Progress of a scan: the bar stands at step × weight / 100 percent. `remaining` is the
// estimated seconds left, or -1 when unknown. A non-zero result stops the scan, which
// returns it.
using ScanProgressCallback = std::int32_t (*)(void* context, std::int32_t step, std::int32_t weight,
                                              std::int32_t remaining, std::uint64_t done,
                                              std::uint64_t total, std::uint64_t found,
                                              std::int32_t reserved);

// Progress of writing one file out: percent of the current file, 100, the result code so
// far, and the target path. A non-zero result stops the current file and is returned.
using RecoverProgressCallback = std::int32_t (*)(void* context, std::int32_t percent,
                                                 std::int32_t hundred, std::int32_t error,
                                                 const std::string& targetPath);

// Progress of a listing or a preview extraction. A non-zero result stops it.
using ListProgressCallback = std::int32_t (*)(void* context, std::int32_t percent,
                                              std::int32_t error);

// A folder in a scan log: its first cluster (NTFS: record number) and its depth below the
// root, which has depth 0.
struct FolderKey {
  std::uint32_t cluster = 0;
  std::uint32_t depth = 0;

  std::uint64_t Value() const { return static_cast<std::uint64_t>(depth) << 32 | cluster; }
  static FolderKey FromValue(std::uint64_t value) {
    return {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
  }
  friend bool operator==(const FolderKey&, const FolderKey&) = default;
};

// Every recovery engine is used through this interface alone: attach to a medium, scan,
// browse the findings, write files out, preview. The operations keep the order below.
// An operation that does not apply to an engine returns 0 and does nothing.
class IFileRecoveryParse {
 public:
  IFileRecoveryParse() = default;
  IFileRecoveryParse(const IFileRecoveryParse&) = delete;
  IFileRecoveryParse& operator=(const IFileRecoveryParse&) = delete;

  // Opens a disk-image file; `driveLetter` is stamped into every record.
  virtual ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) = 0;

  // Opens disk `diskNumber` for the volume of `sectorCount` sectors at `firstSector`.
  virtual ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                         std::uint64_t sectorCount, char16_t driveLetter) = 0;

  // Attaches to a medium someone has already opened, reading it through `device` (which
  // shares the open medium): the area of `sectorCount` sectors at `firstSector`, both
  // counted in `deviceSectorBytes`. The way the session layer attaches engines, so that
  // one scan opens its medium once. A second attach does nothing.
  virtual ResultCode AttachDevice(SectorDevice device, std::uint64_t firstSector,
                                  std::uint64_t sectorCount, char16_t driveLetter,
                                  std::uint32_t deviceSectorBytes) = 0;

  // The name of the scan log the last Scan made or loaded, for loading it again later;
  // empty for engines without one.
  virtual std::string LogName() const { return {}; }
  // Every scan log the last Scan made or loaded: an engine that holds others lists theirs.
  virtual std::vector<std::string> LogNames() const {
    std::string name = LogName();
    if (name.empty()) return {};
    return {std::move(name)};
  }

  virtual ResultCode SetProgressCallbacks(ScanProgressCallback scanProgress,
                                          RecoverProgressCallback recoverProgress, void* context,
                                          std::int32_t weight) = 0;

  // Scans the medium, or with a log name loads that earlier scan log instead. Returns 0,
  // an error, or the non-zero value a callback returned.
  virtual ResultCode Scan(std::string_view logName) = 0;

  // Appends the children of a folder (the root when `folder` is null, with depth 0) and
  // sorts the whole vector: files before folders, then by name ignoring case.
  virtual ResultCode ListFolder(const FoundFile* folder, std::int32_t depth,
                                std::vector<FoundFile>& out) = 0;

  // Counts the files of the whole subtree below a folder.
  virtual ResultCode CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                                      std::int32_t& count) = 0;

  // Records in the scan log; 0 when none is open.
  virtual std::uint64_t GetFoundCount() = 0;

  // The names of the record's ancestors from the top down, each followed by a backslash.
  virtual ResultCode GetParentPath(const FoundFile& record, std::string& out) = 0;

  // Writes a file, or a folder with everything below it, to `targetPath`.
  virtual ResultCode RecoverItem(const FoundFile& record, const std::string& targetPath,
                                 std::int32_t depthOffset) = 0;

  // From `sector` (relative to the volume start) on, the next run of free space: its start
  // in `sector` and its length in `length`. Returns 1.
  virtual std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) = 0;

  virtual ResultCode SetListProgressCallback(ListProgressCallback callback, void* context) = 0;

  // The file records whose extension matches the pattern list; 1 when the scan log could
  // be read, else 0.
  virtual std::int32_t ListFilesByType(const std::string& patterns,
                                       std::vector<FoundFile>& out) = 0;

  // The files ListFilesByType would give, handed to `visit` one by one in no particular
  // order and never held together, for summaries of scans of millions of files.
  virtual std::int32_t VisitFilesByType(const std::string& patterns,
                                        const std::function<void(const FoundFile&)>& visit) {
    std::vector<FoundFile> files;
    const std::int32_t readable = ListFilesByType(patterns, files);
    for (const FoundFile& file : files) visit(file);
    return readable;
  }

  virtual ResultCode BuildUsedClusterMap() = 0;

  // Prepares a file for preview: written to a temporary file named in `tempPath`, or
  // copied into `buffer`, with `size` (in: the buffer's capacity) set to the bytes given.
  virtual ResultCode ExtractForPreview(const FoundFile& record, std::string& tempPath,
                                       std::span<std::uint8_t> buffer, std::uint32_t& size,
                                       ListProgressCallback progress, void* context) = 0;

  // Where a file's data lies on the medium, as RecoverItem would read it: `runs` is
  // replaced. Engines that cannot say answer kUnknown.
  virtual ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) {
    (void)record;
    runs.clear();
    return ByteRunsAnswer::kUnknown;
  }

  // The times the file system keeps for a file; by default those of the record.
  virtual FileTimes TimesOf(const FoundFile& record) {
    return {record.created, record.accessed, record.modified};
  }

  // Hands the bytes RecoverItem would write for a file to `sink`, piece by piece, without
  // writing anything. Returns 0 when the whole file was read, else the error that ended it
  // (what `sink` was given is then not the whole file); 50 for engines that cannot.
  virtual ResultCode ReadFileData(
      const FoundFile& record,
      const std::function<ResultCode(std::span<const std::uint8_t>)>& sink) {
    (void)record;
    (void)sink;
    return result::kNotSupported;
  }

  virtual ~IFileRecoveryParse() = default;
};

}  // namespace keldrive
