#include "session/scan_report.h"

#include "engine/file_category.h"

namespace keldrive {

ReportSource ReportSourceOf(const LoadedScan& scan) {
  return {scan.record.area.source.path, scan.medium.TotalBytes(), scan.medium.totalSectorBytes};
}

ReportVolume ReportVolumeOf(const LoadedScan& scan) {
  const ScanArea& area = scan.record.area;
  return {area.sectors.First() * area.source.sectorBytes, area.fileSystem, area.source.sectorBytes};
}

ReportFile DescribeFoundFile(const ScanSetBrowser& browser, std::size_t scan,
                             const FoundFile& record, std::optional<DigestKind> digest) {
  ReportFile file;
  file.record = record;
  file.path = browser.PathOf(scan, record);
  IFileRecoveryParse& engine = *browser.Scans()[scan]->engine;
  file.times = engine.TimesOf(record);
  file.runsAnswer = engine.ByteRunsOf(record, file.runs);
  if (digest) {
    FileDigest hash(*digest);
    const ResultCode rc = engine.ReadFileData(record, [&](std::span<const std::uint8_t> piece) {
      hash.Add(piece);
      return result::kSuccess;
    });
    if (rc == result::kSuccess) file.digest = hash.FinishHex();
  }
  return file;
}

ResultCode WriteScanReport(const ScanSetBrowser& browser, ReportWriter& writer,
                           std::optional<DigestKind> digest, std::string& message) {
  const auto& scans = browser.Scans();
  if (scans.empty()) {
    message = "no scan to report";
    return result::kInvalidParameter;
  }
  writer.Begin(ReportSourceOf(*scans.front()), digest);
  const std::string everyFile = EveryCategoryPatternList() + "|*.other";
  for (std::size_t i = 0; i < scans.size(); ++i) {
    writer.BeginVolume(ReportVolumeOf(*scans[i]));
    const std::int32_t readable =
        scans[i]->engine->VisitFilesByType(everyFile, [&](const FoundFile& record) {
          writer.File(DescribeFoundFile(browser, i, record, digest));
        });
    writer.EndVolume();
    if (readable == 0) {
      message = "cannot read the scan log of " + scans[i]->record.folder;
      writer.End();
      return result::kReadFault;
    }
  }
  if (!writer.End()) {
    message = "cannot write the report";
    return result::kWriteFault;
  }
  return result::kSuccess;
}

}  // namespace keldrive
