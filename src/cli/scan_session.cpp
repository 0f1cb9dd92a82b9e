#include "cli/scan_session.h"

#include <algorithm>
#include <charconv>

#include "app/app_folder.h"
#include "app/scan_history.h"
#include "cli/progress_bar.h"
#include "session/engine_selection.h"
#include "engine/scan_log_name.h"
#include "platform/folder_tree.h"
#include "platform/interrupt.h"
#include "platform/path_info.h"
#include "platform/profile_file.h"
#include "platform/terminal.h"
#include "session/engine_environment.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kSection = "Scan";

std::uint64_t ToNumber(const std::optional<std::string>& text) {
  std::uint64_t value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value);
  return value;
}

struct ScanProgress {
  explicit ScanProgress(ProgressBar progress) : bar(std::move(progress)) {}
  ProgressBar bar;
  std::uint64_t found = 0;
};

std::int32_t OnScanProgress(void* context, std::int32_t step, std::int32_t weight,
                            std::int32_t remaining, std::uint64_t done, std::uint64_t total,
                            std::uint64_t found, std::int32_t) {
  auto* progress = static_cast<ScanProgress*>(context);
  progress->found = found;
  std::string text = std::to_string(found) + " files found";
  if (total != 0) text = std::to_string(done) + " / " + std::to_string(total) + " sectors, " + text;
  progress->bar.Update(step * weight / 100 / 100.0, text, remaining);
  return platform::InterruptRequested() ? ResultCancelled : 0;
}

// The medium an argument names and the scan-log root its scans live under.
ResultCode ResolveMediumAndRoot(const Context& context, const std::string& argument,
                                MediumChoice& medium, std::string& root, std::string& message) {
  if (const ResultCode rc = ResolveMedium(argument, context.roots, medium, message);
      rc != result::kSuccess) {
    return rc;
  }
  if (const ResultCode rc = ScanLogRoot(context, root); rc != result::kSuccess) {
    message = "cannot use the scan-log folder: " + DescribeResult(rc);
    return rc;
  }
  return result::kSuccess;
}

}  // namespace

std::string MediumIdentity(const MediumChoice& medium) {
  if (medium.kind == MediumChoice::Kind::kImage) {
    std::string resolved;
    if (platform::ResolvePath(medium.path, resolved) != result::kSuccess) resolved = medium.path;
    return "image:" + resolved;
  }
  const std::uint64_t count = medium.kind == MediumChoice::Kind::kStretch ? medium.sectorCount : 0;
  return "device:" + medium.path + ":" + std::to_string(medium.firstSector) + ":" +
         std::to_string(count);
}

ResultCode ScanLogRoot(const Context& context, std::string& root) {
  if (!context.scanLogRoot.empty()) {
    root = context.scanLogRoot;
    return platform::CreateFolderTree(root);
  }
  return PrepareScanLogRoot(root);
}

ResultCode WriteScanRecord(const ScanRecord& record) {
  platform::ProfileFile file;
  file.SetValue(kSection, "medium", record.medium);
  file.SetValue(kSection, "argument", record.argument);
  file.SetValue(kSection, "mode", record.mode);
  file.SetValue(kSection, "log", record.logName);
  file.SetValue(kSection, "finished", record.finished ? "1" : "0");
  file.SetValue(kSection, "found", std::to_string(record.found));
  return file.Save(record.folder + std::string(kScanRecordFile));
}

std::vector<ScanRecord> FindScans(const std::string& root, const std::string& identity) {
  std::vector<ScanRecord> scans;
  std::vector<std::string> names;
  if (platform::ListFolder(root, names) != result::kSuccess) return scans;
  for (const std::string& name : names) {
    std::uint64_t number = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (ec != std::errc() || end != name.data() + name.size()) continue;
    const std::string folder = root + "/" + name + "/";
    platform::ProfileFile file;
    if (platform::ProfileFile::Load(folder + std::string(kScanRecordFile), file) !=
        result::kSuccess) {
      continue;
    }
    ScanRecord record;
    record.medium = file.Value(kSection, "medium").value_or("");
    if (record.medium != identity) continue;
    record.argument = file.Value(kSection, "argument").value_or("");
    record.mode = file.Value(kSection, "mode").value_or("");
    record.logName = file.Value(kSection, "log").value_or("");
    record.finished = file.Value(kSection, "finished").value_or("0") == "1";
    record.found = ToNumber(file.Value(kSection, "found"));
    record.number = number;
    record.folder = folder;
    scans.push_back(std::move(record));
  }
  std::sort(scans.begin(), scans.end(),
            [](const ScanRecord& a, const ScanRecord& b) { return a.number > b.number; });
  return scans;
}

ScanEnvironment MakeEnvironment(const std::string& scanFolder, const std::string& root) {
  return MakeScanEnvironment(scanFolder, root);
}

std::unique_ptr<IFileRecoveryParse> CreateEngine(const MediumChoice& medium, int mode,
                                                 const ScanEnvironment& environment) {
  switch (medium.kind) {
    case MediumChoice::Kind::kImage:
      return SelectEngineForImage(medium.path, 1, mode, environment);
    case MediumChoice::Kind::kDisk: {
      SectorDevice disk;
      if (OpenPhysicalDisk(disk, medium.diskNumber) != result::kSuccess) return nullptr;
      return SelectEngineForPartition(static_cast<std::uint32_t>(medium.diskNumber), 0,
                                      disk.totalSectors, 0, mode, environment);
    }
    case MediumChoice::Kind::kStretch:
      return SelectEngineForPartition(static_cast<std::uint32_t>(medium.diskNumber),
                                      medium.firstSector, medium.sectorCount,
                                      medium.record.driveLetter, mode, environment);
  }
  return nullptr;
}

ResultCode FindInScan(IFileRecoveryParse& engine, const std::string& path, ScanItem& out) {
  out = ScanItem{};
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    if (!out.isRoot && out.record.isFolder == 0) return result::kPathNotFound;
    std::vector<FoundFile> children;
    if (const ResultCode rc = ListItem(engine, out, children); rc != result::kSuccess) return rc;
    const auto found = std::find_if(children.begin(), children.end(),
                                    [&](const FoundFile& child) { return child.Name() == name; });
    if (found == children.end()) return result::kFileNotFound;
    out.depth = out.isRoot ? 0 : out.depth + 1;
    out.isRoot = false;
    out.record = *found;
  }
  return result::kSuccess;
}

ResultCode ListItem(IFileRecoveryParse& engine, const ScanItem& item,
                    std::vector<FoundFile>& children) {
  if (item.isRoot) return engine.ListFolder(nullptr, 0, children);
  if (item.record.isFolder == 0) return result::kSuccess;
  return engine.ListFolder(&item.record, item.depth + 1, children);
}

bool ParseScanNumber(const Arguments& arguments, std::optional<std::uint64_t>& number) {
  const auto text = arguments.Value("--scan");
  if (!text) return true;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size() || value == 0) return false;
  number = value;
  return true;
}

ResultCode OpenScan(const Context& context, const std::string& argument,
                    std::optional<std::uint64_t> number, LoadedScan& out, std::string& message) {
  std::string root;
  if (const ResultCode rc = ResolveMediumAndRoot(context, argument, out.medium, root, message);
      rc != result::kSuccess) {
    return rc;
  }
  const auto scans = FindScans(root, MediumIdentity(out.medium));
  const auto scan = std::find_if(scans.begin(), scans.end(), [&](const ScanRecord& r) {
    return number ? r.number == *number : r.finished;
  });
  if (scan == scans.end()) {
    message = number ? "no scan " + std::to_string(*number) + " of this medium"
                     : "not scanned yet (run: keldrive scan " + argument + ")";
    return result::kFileNotFound;
  }
  out.record = *scan;
  out.engine =
      CreateEngine(out.medium, kDeletedRecoveryMode, MakeEnvironment(out.record.folder, root));
  if (!out.engine) {
    message = "cannot open the medium again to read its scan";
    return result::kReadFault;
  }
  if (const ResultCode rc = out.engine->Scan(out.record.logName); rc != result::kSuccess) {
    message = "cannot read the scan log in " + out.record.folder + ": " + DescribeResult(rc);
    return rc;
  }
  return result::kSuccess;
}

ResultCode RunDeletedScan(Context& context, const std::string& argument, LoadedScan& out,
                          std::string& message) {
  std::string root;
  if (const ResultCode rc = ResolveMediumAndRoot(context, argument, out.medium, root, message);
      rc != result::kSuccess) {
    return rc;
  }
  ScanHistory history(root);
  if (const ResultCode rc = history.BeginNewScanFolder(); rc != result::kSuccess) {
    message = "cannot prepare a scan folder in " + root + ": " + DescribeResult(rc);
    return rc;
  }
  // Keep the number, so the next scan gets a folder of its own.
  history.Save();
  out.record = ScanRecord{};
  out.record.medium = MediumIdentity(out.medium);
  out.record.argument = argument;
  out.record.mode = "deleted";
  out.record.number = history.ScanNumber();
  out.record.folder = history.GetCurrentScanFolder();

  out.engine =
      CreateEngine(out.medium, kDeletedRecoveryMode, MakeEnvironment(out.record.folder, root));
  if (!out.engine) {
    SectorDevice probe;
    std::uint32_t sectorSize = 0;
    if (const ResultCode rc = OpenMedium(out.medium, probe, sectorSize); rc != result::kSuccess) {
      message = DescribeOpenFailure(out.medium, rc);
      return rc;
    }
    message = out.medium.kind == MediumChoice::Kind::kDisk
                  ? "no FAT or NTFS file system at the start of this disk; scan one of its "
                    "partitions (see keldrive list)"
                  : "no FAT or NTFS file system found here, so deleted files cannot be listed";
    return result::kNotSupported;
  }
  if (const ResultCode rc = platform::CreateFolderTree(out.record.folder); rc != result::kSuccess) {
    message = "cannot create the scan folder " + out.record.folder + ": " + DescribeResult(rc);
    return rc;
  }
  WriteScanRecord(out.record);

  platform::InstallInterruptHandler();
  ScanProgress progress(
      ProgressBar(context.err, context.progressToTerminal, platform::TerminalColumns()));
  out.engine->SetProgressCallbacks(OnScanProgress, nullptr, &progress, 100);
  const ResultCode rc = out.engine->Scan("");
  progress.bar.Finish();
  out.engine->SetProgressCallbacks(nullptr, nullptr, nullptr, 100);

  std::string logName;
  ScanHistory::FindFileInFolder(out.record.folder, kQuickLogPrefix, logName);
  out.record.logName = logName;
  out.record.found = out.engine->GetFoundCount();
  out.record.finished = rc == result::kSuccess;
  WriteScanRecord(out.record);
  if (rc == ResultCancelled) {
    message = "scan stopped; the " + std::to_string(out.record.found) +
              " records found so far are kept in " + out.record.folder;
  } else if (rc != result::kSuccess) {
    message = "scan failed: " + DescribeResult(rc);
  }
  return rc;
}

}  // namespace keldrive::cli
