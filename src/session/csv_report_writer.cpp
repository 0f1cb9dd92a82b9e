#include <string_view>

#include "engine/file_category.h"
#include "session/file_report.h"
#include "session/report_writers.h"

namespace keldrive {
namespace {

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string StatusText(const FoundFile& record) {
  if (record.sourceEngine == static_cast<std::uint32_t>(SourceEngine::kCarving)) return "carved";
  if (record.sourceEngine == kRecordUnknown) return "";
  return record.isDeleted != 0 ? "deleted" : "allocated";
}

class CsvReportWriter : public ReportWriter {
 public:
  CsvReportWriter(std::ostream& out, bool recovery) : out_(out), recovery_(recovery) {}

  void Begin(const ReportSource&, std::optional<DigestKind> digest) override {
    digest_ = digest;
    std::vector<std::string> header{"path",  "size",   "status",       "category", "type",
                                    "mtime", "crtime", "first_offset", "engine",   "content_check"};
    if (digest_) header.emplace_back(DigestName(*digest_));
    if (recovery_) {
      for (const char* name : {"record", "target", "bytes_written", "sha256", "result"}) {
        header.emplace_back(name);
      }
    }
    Row(header);
  }
  void BeginVolume(const ReportVolume&) override {}
  void EndVolume() override {}

  void File(const ReportFile& file) override {
    const FoundFile& r = file.record;
    const bool local = TimesAreLocal(r);
    std::string firstOffset;
    if (file.runsAnswer == ByteRunsAnswer::kKnown && !file.runs.empty() && !file.runs[0].sparse) {
      firstOffset = std::to_string(file.runs[0].mediumOffset);
    }
    std::vector<std::string> row{file.path,
                                 std::to_string(r.size),
                                 StatusText(r),
                                 std::string(CategoryFolderName(CategoryOfName(r.Name()))),
                                 ExtensionOf(r.Name()),
                                 IsoTime(file.times.modified, local),
                                 IsoTime(file.times.created, local),
                                 firstOffset,
                                 EngineName(r.sourceEngine),
                                 r.contentOk != 0 ? "ok" : "mismatch"};
    if (digest_) row.push_back(file.digest);
    if (recovery_) {
      const RecoveredFileFacts facts = file.recovered.value_or(RecoveredFileFacts{});
      row.push_back(std::to_string(r.recordNumber));
      row.push_back(facts.target);
      row.push_back(std::to_string(facts.bytesWritten));
      row.push_back(facts.sha256);
      row.push_back(facts.result);
    }
    Row(row);
  }

  bool End() override {
    out_.flush();
    return static_cast<bool>(out_);
  }

 private:
  void Row(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i != 0) out_ << ',';
      out_ << CsvField(fields[i]);
    }
    out_ << "\r\n";
  }

  std::ostream& out_;
  bool recovery_;
  std::optional<DigestKind> digest_;
};

}  // namespace

std::unique_ptr<ReportWriter> MakeCsvReportWriter(std::ostream& out, bool recovery) {
  return std::make_unique<CsvReportWriter>(out, recovery);
}

}  // namespace keldrive
