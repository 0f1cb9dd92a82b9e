#include <cstdio>
#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/medium_argument.h"
#include "cli/progress_bar.h"
#include "disk/disk_image_job.h"
#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "session/image_target.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive image MEDIUM TARGET.img [--map FILE] [--resume] [--json]\n"
    "\n"
    "Copies MEDIUM sector by sector into the image file TARGET.img, which every other\n"
    "command then takes as MEDIUM. Made for failing disks: whatever reads is copied first,\n"
    "then the edges and insides of the areas that failed are read sector by sector.\n"
    "Sectors that cannot be read are zeros in the image. A map in GNU ddrescue's format\n"
    "(TARGET.img.map unless --map is given) records what was copied and what could not\n"
    "be read. MEDIUM is an image file, a disk or partition device (/dev/sdb, /dev/sdb1),\n"
    "or a number shown by keldrive list; it is only read. TARGET.img must lie on another\n"
    "disk. Ctrl+C stops the copy and saves the map.\n"
    "\n"
    "  --map FILE  keep the map in FILE\n"
    "  --resume    carry on with an interrupted or unfinished copy from its map; without\n"
    "              it an existing TARGET.img and map are replaced\n"
    "  --json      print the outcome as JSON\n"
    "\n"
    "Exit code 1 when any sector could not be read or the copy did not finish.\n";

struct ImageSession {
  explicit ImageSession(ProgressBar progress) : bar(std::move(progress)) {}
  ProgressBar bar;
  std::int32_t sectorSize = 512;
  bool cancelled = false;
};

const char* PassName(const ImageCopyState& state) {
  switch (state.phase) {
    case RescuePhase::kCopying:
      return state.pass == 1 ? "copying" : "copying skipped areas";
    case RescuePhase::kTrimming:
      return "trimming bad areas";
    case RescuePhase::kScraping:
      return "scraping bad areas";
    default:
      return "finishing";
  }
}

std::string Size(std::uint64_t bytes) {
  return FormatSize(static_cast<std::int64_t>(bytes & INT64_MAX));
}

std::int32_t OnImageProgress(void* context, std::int32_t percent, std::uint64_t,
                             std::uint64_t sectorsTotal, std::int32_t secondsLeft,
                             const ImageCopyState& state) {
  auto* session = static_cast<ImageSession*>(context);
  if (platform::InterruptRequested()) {
    session->cancelled = true;
    return result::kCancelled;
  }
  const auto bytes = [&](std::uint64_t sectors) {
    return Size(sectors * static_cast<std::uint64_t>(session->sectorSize));
  };
  std::string text = std::string(PassName(state)) + ", " + bytes(state.finishedSectors) + " of " +
                     bytes(sectorsTotal);
  if (state.badSectors != 0) text += ", " + bytes(state.badSectors) + " unreadable";
  session->bar.Update(percent / 100.0, text, secondsLeft);
  return 0;
}

std::string ProblemText(ImageTargetProblem problem, const ImageSource& source) {
  switch (problem) {
    case ImageTargetProblem::kOnSourceVolume:
      return source.kind == ImageSource::Kind::kPartition
                 ? "lies on the partition being copied; choose a folder on another disk"
                 : "lies on the disk being copied; choose a folder on another disk";
    case ImageTargetProblem::kTooLargeForFat32:
      return "lies on FAT32, whose files hold less than 4 GiB; the image needs " +
             Size(source.bytes);
    case ImageTargetProblem::kTooLargeForFat:
      return "lies on FAT, whose volumes hold at most 2 GiB; the image needs " + Size(source.bytes);
    case ImageTargetProblem::kNotEnoughSpace:
      return "not enough free space for an image of " + Size(source.bytes);
    case ImageTargetProblem::kIsSource:
      return "is the medium being copied";
    case ImageTargetProblem::kNotAFile:
      return "is a folder or a device, not an image file";
    case ImageTargetProblem::kNone:
      break;
  }
  return "";
}

ImageSource SourceOf(const MediumChoice& medium, std::uint64_t bytes) {
  ImageSource source;
  source.bytes = bytes;
  switch (medium.kind) {
    case MediumChoice::Kind::kImage:
      source.kind = ImageSource::Kind::kImageFile;
      source.path = medium.path;
      break;
    case MediumChoice::Kind::kDisk:
      source.kind = ImageSource::Kind::kWholeDisk;
      source.path = medium.path;
      break;
    case MediumChoice::Kind::kStretch:
      // A gap or a disk listed whole has its disk's node.
      source.kind = medium.record.partitionNumber > 0 ? ImageSource::Kind::kPartition
                                                      : ImageSource::Kind::kWholeDisk;
      source.path = medium.record.devicePath.empty() ? medium.path : medium.record.devicePath;
      break;
  }
  return source;
}

void PrintJson(Context& context, const std::string& argument, const std::string& target,
               std::uint64_t firstSector, const ImageCopySummary& summary, ResultCode rc,
               bool cancelled) {
  const auto sectorBytes = static_cast<std::uint64_t>(summary.sectorSize);
  Json json;
  json["medium"] = argument;
  json["target"] = target;
  json["map"] = summary.mapPath;
  json["sectorSize"] = summary.sectorSize;
  json["bytes"] = summary.sectorsTotal * sectorBytes;
  json["bytesCopied"] = summary.bytesCopied;
  json["bytesUnreadable"] = summary.bytesUnreadable;
  json["bytesPending"] = summary.bytesPending;
  json["milliseconds"] = summary.milliseconds;
  json["resumed"] = summary.resumed;
  json["finished"] = summary.bytesPending == 0 && (rc == 0 || rc == result::kReadFault);
  json["cancelled"] = cancelled;
  json["result"] = rc;
  json["unreadable"] = Json::array();
  for (const SectorRun& run : summary.unreadable) {
    Json stretch;
    stretch["offset"] = run.First() * sectorBytes;
    stretch["bytes"] = run.Count() * sectorBytes;
    stretch["sourceSector"] = firstSector + run.First();
    stretch["sectors"] = run.Count();
    json["unreadable"].push_back(std::move(stretch));
  }
  WriteJson(context.out, json);
}

void PrintText(Context& context, const std::string& argument, const std::string& target,
               std::uint64_t firstSector, const ImageCopySummary& summary) {
  const auto sectorBytes = static_cast<std::uint64_t>(summary.sectorSize);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s",
                static_cast<double>(summary.milliseconds) / 1000.0);
  context.out << "Copied " << Size(summary.bytesCopied) << " of "
              << Size(summary.sectorsTotal * sectorBytes) << " from " << argument << " to "
              << target << " in " << seconds << (summary.resumed ? " (resumed)" : "") << ".\n";
  if (summary.bytesUnreadable != 0) {
    context.out << "Unreadable: " << Size(summary.bytesUnreadable) << " ("
                << summary.bytesUnreadable << " bytes) in " << summary.unreadable.size()
                << (summary.unreadable.size() == 1 ? " area" : " areas")
                << ", zeros in the image:\n";
    constexpr std::size_t kShown = 20;
    for (std::size_t i = 0; i < summary.unreadable.size() && i < kShown; ++i) {
      const SectorRun& run = summary.unreadable[i];
      context.out << "  image bytes " << run.First() * sectorBytes << " to "
                  << run.End() * sectorBytes - 1 << ", source sectors " << firstSector + run.First()
                  << " to " << firstSector + run.End() - 1 << '\n';
    }
    if (summary.unreadable.size() > kShown) {
      context.out << "  ... and " << summary.unreadable.size() - kShown
                  << " more areas (see the map)\n";
    }
  }
  if (summary.bytesPending != 0) {
    context.out << "Not read yet: " << Size(summary.bytesPending) << ".\n";
  }
  context.out << "Map: " << summary.mapPath << '\n';
}

int Run(const Arguments& arguments, Context& context) {
  if (arguments.positional.size() != 2) {
    ReportError(context, "image", "needs MEDIUM and TARGET.img (see keldrive image --help)");
    return kExitUsage;
  }
  const std::string& argument = arguments.positional[0];
  const std::string& target = arguments.positional[1];
  MediumChoice medium;
  std::string message;
  if (ResolveMedium(argument, context.roots, medium, message) != result::kSuccess) {
    ReportError(context, argument, message);
    return kExitFailure;
  }
  SectorDevice device;
  std::uint32_t sectorSize = 0;
  if (const ResultCode rc = OpenMedium(medium, device, sectorSize); rc != result::kSuccess) {
    ReportError(context, medium.path, DescribeOpenFailure(medium, rc));
    return kExitFailure;
  }
  const bool stretch = medium.kind == MediumChoice::Kind::kStretch;
  const SectorRun area =
      stretch ? SectorRun::Make(medium.firstSector, medium.sectorCount).value_or(SectorRun())
              : SectorRun::Between(0, device.totalSectors);
  const std::uint64_t areaSectors =
      area.Count() != 0 ? area.Count()
                        : device.totalSectors - std::min(device.totalSectors, area.First());

  ImageCopyOptions options;
  options.resume = arguments.Has("--resume");
  options.mapPath = arguments.Value("--map").value_or(DefaultMapPath(target));
  const ImageSource source = SourceOf(medium, areaSectors * sectorSize);
  const ImageTargetQueries queries = SystemImageTargetQueries(context.roots);
  if (const auto problem = CheckImageTarget(source, target, queries);
      problem != ImageTargetProblem::kNone) {
    ReportError(context, target, ProblemText(problem, source));
    return kExitFailure;
  }
  if (const auto problem = CheckImageMapPath(source, options.mapPath, queries);
      problem != ImageTargetProblem::kNone) {
    ReportError(context, options.mapPath, ProblemText(problem, source));
    return kExitFailure;
  }

  platform::InstallInterruptHandler();
  ImageSession session(
      ProgressBar(context.err, context.progressToTerminal, platform::TerminalColumns()));
  session.sectorSize = static_cast<std::int32_t>(sectorSize);
  ImageCopySummary summary;
  const ResultCode rc = CopyDiskToImage(std::move(device), static_cast<std::int32_t>(sectorSize),
                                        area, target, options, &OnImageProgress, &session, summary);
  session.bar.Finish();
  if (summary.sectorsTotal == 0) {  // the copy never started
    ReportError(context, target, summary.message.empty() ? DescribeResult(rc) : summary.message);
    return kExitFailure;
  }

  if (arguments.Has("--json")) {
    PrintJson(context, argument, target, area.First(), summary, rc, session.cancelled);
  } else {
    PrintText(context, argument, target, area.First(), summary);
  }
  if (session.cancelled) {
    ReportError(context, argument,
                "copy stopped; carry on with: keldrive image " + argument + " " + target +
                    (arguments.Value("--map") ? " --map " + options.mapPath : "") + " --resume");
  } else if (rc == result::kReadFault) {
    ReportError(context, argument,
                std::to_string(summary.bytesUnreadable) +
                    " bytes could not be read; they are zeros in the image");
  } else if (rc != result::kSuccess) {
    ReportError(context, target, "copy stopped: " + DescribeResult(rc));
  }
  return rc == result::kSuccess ? kExitOk : kExitFailure;
}

}  // namespace

const Command& ImageCommand() {
  static const Command kCommand{"image",
                                "copy a disk or partition into an image file, past bad sectors",
                                kUsage,
                                {{"--map", true}, {"--resume", false}, {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
