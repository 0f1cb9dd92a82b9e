#include "cli/scan_session.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "app/app_folder.h"
#include "cli/medium_argument.h"
#include "cli/progress_bar.h"
#include "platform/disk_catalog.h"
#include "platform/folder_tree.h"
#include "platform/interrupt.h"
#include "platform/path_info.h"
#include "platform/terminal.h"

namespace keldrive::cli {
namespace {

std::optional<int> ParseNumber(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size() || value <= 0) return -1;
  return value;
}

// The areas of one disk of the machine, whole when it has none.
void SelectDisk(const std::vector<ScanArea>& machine, const std::string& diskPath,
                MediumSelection& out) {
  for (const ScanArea& area : machine) {
    if (area.source.path == diskPath) out.areas.push_back(area);
  }
  if (out.areas.empty()) return;
  out.whole = out.areas.front();
  out.whole.kind = ScanArea::Kind::kWhole;
  out.whole.partitionNumber = 0;
  out.whole.fileSystem.clear();
  out.whole.devicePath.clear();
  out.whole.mountPoint.clear();
  out.partitioned = out.areas.size() > 1 || !out.areas.front().IsWhole();
  if (out.partitioned) {
    SectorDevice disk;
    if (OpenAreaMedium(out.whole.source, disk) == result::kSuccess) {
      out.whole.sectors = *SectorRun::Make(0, disk.totalSectors);
    }
  }
}

std::string ProgressText(const ScanProgress& progress) {
  std::string text = std::to_string(progress.found) + " found";
  if (progress.sectorsTotal != 0) {
    text = std::to_string(progress.sectorsDone) + " / " + std::to_string(progress.sectorsTotal) +
           " sectors, " + text;
  }
  return text;
}

}  // namespace

ResultCode ResolveMediumAreas(const Context& context, const std::string& argument,
                              std::optional<int> volume, MediumSelection& out,
                              std::string& message) {
  out = MediumSelection{};
  out.argument = argument;
  out.volume = volume;
  const platform::PathKind kind = platform::QueryPathKind(argument);
  const bool exists = kind != platform::PathKind::kMissing;

  if ((IsListNumber(argument) && !exists) || kind == platform::PathKind::kBlockDevice) {
    std::vector<ScanArea> machine;
    if (ListMachineAreas(context.roots, machine) != result::kSuccess) {
      message = "cannot list the machine's disks";
      return result::kPathNotFound;
    }
    if (!exists) {
      const int number = std::stoi(argument);
      const auto found = std::find_if(machine.begin(), machine.end(),
                                      [&](const ScanArea& a) { return a.number == number; });
      if (found == machine.end()) {
        message = "no medium number " + argument + " (see keldrive list)";
        return result::kFileNotFound;
      }
      out.areas = {*found};
      out.whole = *found;
    } else {
      for (const ScanArea& area : machine) {
        if (!area.devicePath.empty() && NamesSameMedium(argument, area.devicePath)) {
          out.areas = {area};
          out.whole = area;
          break;
        }
      }
      if (out.areas.empty()) {
        const auto disk = std::find_if(machine.begin(), machine.end(), [&](const ScanArea& a) {
          return NamesSameMedium(argument, a.source.path);
        });
        if (disk != machine.end()) SelectDisk(machine, disk->source.path, out);
      }
    }
  }
  if (out.areas.empty()) {
    if (!exists) {
      message = "no such file or device";
      return result::kFileNotFound;
    }
    if (kind == platform::PathKind::kDirectory) {
      message = "is a folder, not an image file or a device";
      return result::kDirectory;
    }
    // An image file, or a block device that is not on the media list (device-mapper, md).
    ImageLayout layout;
    if (const ResultCode rc = ListImageAreas(argument, layout); rc != result::kSuccess) {
      message = "cannot open: " + DescribeResult(rc);
      return rc;
    }
    out.areas = layout.areas;
    out.whole = layout.whole;
    out.partitioned = layout.partitioned;
  }
  if (volume) {
    const auto chosen = std::find_if(out.areas.begin(), out.areas.end(),
                                     [&](const ScanArea& a) { return a.number == *volume; });
    if (chosen == out.areas.end()) {
      message = "no volume " + std::to_string(*volume) + " on this medium (see keldrive list " +
                argument + ")";
      return result::kFileNotFound;
    }
    const ScanArea area = *chosen;
    out.areas = {area};
  }
  return result::kSuccess;
}

std::vector<ScanArea> DeletedScanAreas(const MediumSelection& selection) {
  if (selection.volume || selection.areas.size() <= 1) return selection.areas;
  std::vector<ScanArea> volumes;
  for (const ScanArea& area : selection.areas) {
    if (area.kind == ScanArea::Kind::kVolume) volumes.push_back(area);
  }
  return volumes;
}

ResultCode ScanLogRoot(const Context& context, std::string& root) {
  if (!context.scanLogRoot.empty()) {
    root = context.scanLogRoot;
    return platform::CreateFolderTree(root);
  }
  return PrepareScanLogRoot(root);
}

std::vector<LoadedScan*> ScanSet::Pointers() const {
  std::vector<LoadedScan*> pointers;
  for (const auto& scan : scans) pointers.push_back(scan.get());
  return pointers;
}

std::vector<ScanArea> AreasToScan(const MediumSelection& selection, RecoveryMode mode) {
  if (!IsProfessional(mode)) return DeletedScanAreas(selection);
  if (selection.volume || !selection.partitioned) return selection.areas;
  return {selection.whole};
}

std::vector<ScanOutcome> RunScans(Context& context, ScanCatalogue& catalogue,
                                  const std::string& argument, const std::vector<ScanArea>& areas,
                                  const ScanOptions& options) {
  std::vector<ScanOutcome> outcomes;
  platform::InstallInterruptHandler();
  std::uint64_t set = 0;
  for (const ScanArea& area : areas) {
    ProgressBar bar(context.err, context.progressToTerminal, platform::TerminalColumns());
    const std::string label = areas.size() > 1 ? AreaFolderName(area) + ": " : std::string();
    ScanRequest request;
    request.area = area;
    request.mode = options.mode;
    request.whole = options.whole;
    request.resume = options.resume;
    request.argument = argument;
    request.set = set;
    request.askResume = [&](const ScanRecord& earlier) {
      const std::string where = "scan " + std::to_string(earlier.number) + " (" +
                                std::to_string(earlier.found) + " files found, kept in " +
                                earlier.folder + ")";
      if (context.in == nullptr) {
        context.err << "keldrive: " << argument << ": going on from the earlier " << where
                    << " that stopped part-way; --fresh starts again\n";
        return true;
      }
      context.err << "An earlier deep scan of " << argument << " stopped part-way: " << where
                  << ".\nGo on from where it stopped? [Y/n] " << std::flush;
      std::string answer;
      std::getline(*context.in, answer);
      return answer.empty() || answer[0] == 'y' || answer[0] == 'Y';
    };
    ScanOutcome outcome = RunScan(catalogue, request, [&](const ScanProgress& progress) {
      bar.Update(progress.percent / 100.0, label + ProgressText(progress),
                 progress.remainingSeconds);
      return platform::InterruptRequested() ? ResultCancelled : result::kSuccess;
    });
    bar.Finish();
    if (set == 0 && outcome.scan.record.number != 0) set = outcome.scan.record.set;
    const bool stopped = outcome.result == ResultCancelled;
    outcomes.push_back(std::move(outcome));
    if (stopped) break;
  }
  return outcomes;
}

ResultCode OpenScans(Context& context, const MediumSelection& selection,
                     std::optional<std::uint64_t> number, bool scanWhenMissing, ScanSet& out,
                     std::string& message) {
  out.scans.clear();
  std::string root;
  if (const ResultCode rc = ScanLogRoot(context, root); rc != result::kSuccess) {
    message = "cannot use the scan-log folder: " + DescribeResult(rc);
    return rc;
  }
  ScanCatalogue catalogue(root);
  std::vector<ScanArea> toScan;
  std::string changed;
  std::vector<ScanArea> areas = number ? selection.areas : DeletedScanAreas(selection);
  // A deep scan of the whole disk or image stands for all of it when it is newer than the
  // scans of its volumes.
  if (selection.partitioned && !selection.volume) {
    const auto newest = [&](const ScanArea& area) {
      std::uint64_t found = 0;
      for (const ScanOfArea& scan : FindScansOfArea(catalogue, area, context.roots)) {
        if (scan.record.state == ScanState::kFinished || scan.record.state == ScanState::kStopped) {
          found = std::max(found, scan.record.number);
        }
      }
      return found;
    };
    std::uint64_t volumes = 0;
    for (const ScanArea& area : areas) volumes = std::max(volumes, newest(area));
    if (number) {
      areas.insert(areas.begin(), selection.whole);
    } else if (const std::uint64_t whole = newest(selection.whole); whole > volumes) {
      areas = {selection.whole};
    }
  }
  for (const ScanArea& area : areas) {
    ScanOutcome loaded = LoadScan(catalogue, area, number, context.roots);
    if (loaded.result == result::kSuccess) {
      out.scans.push_back(std::make_unique<LoadedScan>(std::move(loaded.scan)));
      if (number) break;
      continue;
    }
    if (number) {
      if (loaded.problem == ScanProblem::kNotScanned) continue;  // another area's scan
      message = loaded.message;
      return loaded.result;
    }
    if (loaded.problem == ScanProblem::kMediumChanged) {
      changed = loaded.message;
      toScan.push_back(area);
    } else if (loaded.problem == ScanProblem::kNotScanned) {
      if (scanWhenMissing) toScan.push_back(area);
    } else {
      message = loaded.message;
      return loaded.result;
    }
  }
  if (number && out.scans.empty()) {
    message = "no scan " + std::to_string(*number) + " of this medium (see keldrive history)";
    return result::kFileNotFound;
  }
  if (!toScan.empty()) {
    context.err << "keldrive: " << selection.argument << ": "
                << (!changed.empty() ? changed + "; scanning it again"
                                     : "not scanned yet; scanning for deleted files")
                << '\n';
    auto outcomes = RunScans(context, catalogue, selection.argument, toScan);
    for (ScanOutcome& outcome : outcomes) {
      if (outcome.result == ResultCancelled) {
        message = "scan stopped";
        return ResultCancelled;
      }
      if (outcome.result != result::kSuccess && areas.size() == 1) {
        message = outcome.message;
        return outcome.result;
      }
      if (outcome.scan.engine) {
        out.scans.push_back(std::make_unique<LoadedScan>(std::move(outcome.scan)));
      }
    }
  }
  if (out.scans.empty()) {
    message = "not scanned yet (run: keldrive scan " + selection.argument + ")";
    return result::kFileNotFound;
  }
  return result::kSuccess;
}

bool OpenMediumScans(Context& context, const std::string& argument, std::optional<int> volume,
                     std::optional<std::uint64_t> number, bool scanWhenMissing, ScanSet& out) {
  MediumSelection selection;
  std::string message;
  if (ResolveMediumAreas(context, argument, volume, selection, message) != result::kSuccess ||
      OpenScans(context, selection, number, scanWhenMissing, out, message) != result::kSuccess) {
    ReportError(context, argument, message);
    return false;
  }
  return true;
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

bool ParseVolumeNumber(const Arguments& arguments, std::optional<int>& number) {
  number = ParseNumber(arguments.Value("--volume"));
  return !number || *number > 0;
}

}  // namespace keldrive::cli
