#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/byte_run.h"
#include "engine/found_file.h"
#include "engine/found_file_times.h"
#include "session/file_digest.h"

namespace keldrive {

// The medium a report speaks of.
struct ReportSource {
  std::string path;  // the image file or device
  std::uint64_t bytes = 0;
  std::uint32_t sectorBytes = 512;
};

// One scanned area of the medium.
struct ReportVolume {
  std::uint64_t offsetBytes = 0;  // where it begins on the medium
  std::string fileSystem;         // "FAT32", "NTFS", ...; empty when unknown
  std::uint32_t sectorBytes = 512;
};

// What became of one file a recovery wrote.
struct RecoveredFileFacts {
  std::string target;  // the path written
  std::uint64_t bytesWritten = 0;
  std::string sha256;  // of the bytes written; empty when nothing was written
  std::string result;  // "complete", "incomplete: ...", "failed: ..."
};

// The engine of a file a recovery wrote without handing out its record (a file inside a
// chosen folder): the report knows its target and contents only.
inline constexpr std::uint32_t kRecordUnknown = UINT32_MAX;

// One found file as a report shows it.
struct ReportFile {
  FoundFile record;
  std::string path;  // full path in the scan, with "/" between folders
  FileTimes times;   // as the engine knows them (TimesOf)
  ByteRunsAnswer runsAnswer = ByteRunsAnswer::kUnknown;
  std::vector<ByteRun> runs;
  std::string digest;  // of the bytes recovery would write, in the report's digest kind
  std::optional<RecoveredFileFacts> recovered;
};

// The engine that found a record, in words: "quick FAT", "carving", ...
std::string EngineName(std::uint32_t sourceEngine);
// A FILETIME in ISO 8601: "2023-05-02T11:03:48" with ".250" for parts of a second, and
// "Z" when it is UTC. Empty for 0 (unknown).
std::string IsoTime(FileTime time, bool local);

// Writes a report file by file: Begin, then per volume BeginVolume, File..., EndVolume, then
// End. `digest` names the hash the files carry, when they do.
class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  virtual void Begin(const ReportSource& source, std::optional<DigestKind> digest) = 0;
  virtual void BeginVolume(const ReportVolume& volume) = 0;
  virtual void File(const ReportFile& file) = 0;
  virtual void EndVolume() = 0;
  // False when the output could not be written.
  virtual bool End() = 0;
};

enum class ReportFormat { kDfxml, kCsv };

// False for DFXML in a build without libxml2 (the Windows cross-build); MakeReportWriter
// must not be asked for a format that is not available.
bool ReportFormatAvailable(ReportFormat format);
inline constexpr const char* kDfxmlUnavailable =
    "DFXML reports are not part of this build (made without libxml2); use CSV instead";

// A writer of the format onto `out`; `recovery` adds the columns of what was written.
std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, std::ostream& out,
                                               bool recovery);

}  // namespace keldrive
