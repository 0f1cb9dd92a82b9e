#include <libxml/xmlwriter.h>

#include <string_view>

#include "engine/file_category.h"
#include "session/file_report.h"
#include "session/report_writers.h"

namespace keldrive {
namespace {

constexpr const char* kDfxmlNamespace =
    "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
constexpr const char* kDublinCoreNamespace = "http://purl.org/dc/elements/1.1/";
// Our own fields: the engine, the content check, the carved type, how times are kept.
constexpr const char* kKeldriveNamespace = "urn:keldrive:dfxml:1";

const xmlChar* Xml(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

// XML 1.0 text: well-formed UTF-8 without control characters. Names read from a damaged
// medium may hold anything; what XML cannot carry becomes U+FFFD.
std::string XmlText(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    if (valid && length == 1 && lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') {
      valid = false;
    }
    if (!valid) {
      clean += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    clean.append(text.substr(i, length));
    i += length;
  }
  return clean;
}

int WriteToStream(void* context, const char* buffer, int length) {
  auto* out = static_cast<std::ostream*>(context);
  out->write(buffer, length);
  return *out ? length : -1;
}

class DfxmlReportWriter : public ReportWriter {
 public:
  DfxmlReportWriter(std::ostream& out, bool recovery) : out_(out), recovery_(recovery) {
    xmlOutputBufferPtr buffer = xmlOutputBufferCreateIO(&WriteToStream, nullptr, &out_, nullptr);
    writer_ = xmlNewTextWriter(buffer);
    ok_ = writer_ != nullptr;
    if (ok_) xmlTextWriterSetIndent(writer_, 1);
  }
  ~DfxmlReportWriter() override {
    if (writer_ != nullptr) xmlFreeTextWriter(writer_);
  }
  DfxmlReportWriter(const DfxmlReportWriter&) = delete;
  DfxmlReportWriter& operator=(const DfxmlReportWriter&) = delete;

  void Begin(const ReportSource& source, std::optional<DigestKind> digest) override {
    digest_ = digest;
    Check(xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr));
    Start("dfxml");
    Attribute("xmlns", kDfxmlNamespace);
    Attribute("xmlns:dc", kDublinCoreNamespace);
    Attribute("xmlns:keldrive", kKeldriveNamespace);
    Attribute("version", "1.2.0");
    Start("metadata");
    Element("dc:type", recovery_ ? "Recovery Report" : "Scan Report");
    End1();
    Start("creator");
    Attribute("version", "1.0");
    Element("program", "keldrive");
    Element("version", KELDRIVE_VERSION);
    End1();
    Start("source");
    Element("image_filename", source.path);
    Element("imagesize", std::to_string(source.bytes));
    Element("sectorsize", std::to_string(source.sectorBytes));
    End1();
  }

  void BeginVolume(const ReportVolume& volume) override {
    Start("volume");
    Attribute("offset", std::to_string(volume.offsetBytes));
    // DFXML's partition offset is positive: a volume at the start has the attribute only.
    if (volume.offsetBytes != 0) Element("partition_offset", std::to_string(volume.offsetBytes));
    Element("sector_size", std::to_string(volume.sectorBytes));
    if (!volume.fileSystem.empty()) Element("ftype_str", volume.fileSystem);
  }

  void File(const ReportFile& file) override {
    const FoundFile& r = file.record;
    const bool local = TimesAreLocal(r);
    Start("fileobject");
    Element("filename", file.path);
    Element("name_type", "r");
    Element("filesize", std::to_string(r.size));
    // A carved file was found by its contents: whether its sectors are in use is not known.
    if (r.sourceEngine != static_cast<std::uint32_t>(SourceEngine::kCarving) &&
        r.sourceEngine != kRecordUnknown) {
      Element("alloc", r.isDeleted != 0 ? "0" : "1");
    }
    // FAT keeps modification times to 2 seconds and access times as dates only (DFXML's
    // precision is in seconds).
    Time("mtime", file.times.modified, local, local ? "2" : "");
    Time("atime", file.times.accessed, local, local ? "86400" : "");
    Time("crtime", file.times.created, local, "");
    Runs(file);
    if (digest_ && !file.digest.empty()) {
      Start("hashdigest");
      Attribute("type", std::string(DigestName(*digest_)));
      Check(xmlTextWriterWriteString(writer_, Xml(file.digest.c_str())));
      End1();
    }
    if (file.recovered) {
      const RecoveredFileFacts& facts = *file.recovered;
      Start("keldrive:recovery");
      if (r.sourceEngine != kRecordUnknown) {
        Element("keldrive:source_record", std::to_string(r.recordNumber));
      }
      Element("keldrive:target", facts.target);
      Element("keldrive:bytes_written", std::to_string(facts.bytesWritten));
      if (!facts.sha256.empty()) Element("keldrive:sha256", facts.sha256);
      Element("keldrive:result", facts.result);
      End1();
    }
    Element("keldrive:engine", EngineName(r.sourceEngine));
    Element("keldrive:content_check", r.contentOk != 0 ? "ok" : "mismatch");
    Element("keldrive:type", ExtensionOf(r.Name()));
    Element("keldrive:category", std::string(CategoryFolderName(CategoryOfName(r.Name()))));
    Element("keldrive:times", local ? "local" : "utc");
    End1();
  }

  void EndVolume() override { End1(); }

  bool End() override {
    Check(xmlTextWriterEndDocument(writer_));
    Check(xmlTextWriterFlush(writer_));
    out_.flush();
    return ok_ && static_cast<bool>(out_);
  }

 private:
  void Check(int rc) {
    if (rc < 0) ok_ = false;
  }
  void Start(const char* name) {
    if (ok_) Check(xmlTextWriterStartElement(writer_, Xml(name)));
  }
  void End1() {
    if (ok_) Check(xmlTextWriterEndElement(writer_));
  }
  void Attribute(const char* name, const std::string& value) {
    if (ok_) Check(xmlTextWriterWriteAttribute(writer_, Xml(name), Xml(XmlText(value).c_str())));
  }
  void Element(const char* name, const std::string& value) {
    if (ok_) {
      Check(xmlTextWriterWriteElement(writer_, Xml(name), Xml(XmlText(value).c_str())));
    }
  }
  void Time(const char* name, FileTime time, bool local, const char* precision) {
    if (time == 0 || !ok_) return;
    Start(name);
    if (*precision != '\0') Attribute("prec", precision);
    Check(xmlTextWriterWriteString(writer_, Xml(IsoTime(time, local).c_str())));
    End1();
  }
  void Runs(const ReportFile& file) {
    if (file.runsAnswer == ByteRunsAnswer::kUnknown) return;
    Start("byte_runs");
    if (file.runsAnswer == ByteRunsAnswer::kResident) Attribute("type", "resident");
    for (const ByteRun& run : file.runs) {
      Start("byte_run");
      Attribute("file_offset", std::to_string(run.fileOffset));
      if (run.sparse) {
        Attribute("fill", "0");
      } else {
        Attribute("img_offset", std::to_string(run.mediumOffset));
      }
      Attribute("len", std::to_string(run.length));
      End1();
    }
    End1();
  }

  std::ostream& out_;
  bool recovery_;
  xmlTextWriterPtr writer_ = nullptr;
  bool ok_ = false;
  std::optional<DigestKind> digest_;
};

}  // namespace

bool DfxmlReportsAvailable() {
  return true;
}

std::unique_ptr<ReportWriter> MakeDfxmlReportWriter(std::ostream& out, bool recovery) {
  return std::make_unique<DfxmlReportWriter>(out, recovery);
}

}  // namespace keldrive
