#include "ui/preview/office_text.h"

#include <archive.h>
#include <archive_entry.h>

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <map>

namespace keldrive::ui {
namespace {

// A part's text counts only from these; bigger parts are cut (the preview is a glance).
constexpr qsizetype kMaxPartBytes = 16 * 1024 * 1024;

bool IsTextPart(const QString& name) {
  static const QRegularExpression kParts(
      "^(word/document\\.xml|xl/sharedStrings\\.xml|ppt/slides/slide[0-9]+\\.xml|"
      "content\\.xml)$");
  return kParts.match(name).hasMatch();
}

// Slides in their number order, not the zip's or the text's ("slide10" after "slide9").
QString OrderKey(const QString& name) {
  static const QRegularExpression kNumber("([0-9]+)\\.xml$");
  const auto match = kNumber.match(name);
  if (!match.hasMatch()) return name;
  return name.left(match.capturedStart(1)) + match.captured(1).rightJustified(8, '0');
}

bool EndsLine(QStringView element) {
  return element == u"p" || element == u"h" || element == u"si" || element == u"tr" ||
         element == u"table-row" || element == u"br";
}

}  // namespace

QString XmlPartText(const QByteArray& xml, bool everyElement) {
  QXmlStreamReader reader(xml);
  QString text;
  int inText = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement:
        if (reader.name() == u"t") ++inText;
        if (reader.name() == u"tab") text += '\t';
        if (everyElement && reader.name() == u"s") text += ' ';  // ODF's run of spaces
        if (everyElement && reader.name() == u"line-break") text += '\n';
        break;
      case QXmlStreamReader::EndElement:
        if (reader.name() == u"t" && inText > 0) --inText;
        if (EndsLine(reader.name()) && !text.isEmpty() && !text.endsWith('\n')) text += '\n';
        if (reader.name() == u"tc" || reader.name() == u"table-cell") text += '\t';
        break;
      case QXmlStreamReader::Characters:
        if ((everyElement || inText > 0) && !reader.isWhitespace()) text += reader.text();
        break;
      default:
        break;
    }
  }
  return text;
}

QString OfficeDocumentText(const PreviewSource& source) {
  auto device = source.Open();
  if (!device) return {};
  archive* handle = archive_read_new();
  archive_read_support_format_zip(handle);
  struct Reader {
    QIODevice* device;
    char block[64 * 1024];
  } reader{device.get(), {}};
  archive_read_set_read_callback(handle, [](archive*, void* context, const void** buffer) {
    auto* r = static_cast<Reader*>(context);
    *buffer = r->block;
    return static_cast<la_ssize_t>(r->device->read(r->block, sizeof(r->block)));
  });
  archive_read_set_callback_data(handle, &reader);
  std::map<QString, QString> parts;  // by order key
  if (archive_read_open1(handle) == ARCHIVE_OK) {
    archive_entry* entry = nullptr;
    while (archive_read_next_header(handle, &entry) == ARCHIVE_OK) {
      const QString name = QString::fromUtf8(archive_entry_pathname(entry));
      if (!IsTextPart(name)) {
        archive_read_data_skip(handle);
        continue;
      }
      QByteArray xml;
      char block[64 * 1024];
      la_ssize_t got = 0;
      while ((got = archive_read_data(handle, block, sizeof(block))) > 0 &&
             xml.size() < kMaxPartBytes) {
        xml.append(block, got);
      }
      parts[OrderKey(name)] = XmlPartText(xml, name == "content.xml");
    }
  }
  archive_read_free(handle);
  QString text;
  for (const auto& [key, part] : parts) {
    if (!text.isEmpty() && !text.endsWith('\n')) text += '\n';
    text += part;
  }
  return text;
}

}  // namespace keldrive::ui
