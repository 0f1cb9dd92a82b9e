#include "ui/preview/preview_view.h"

#include <QPlainTextEdit>

#include "ui/preview/archive_list.h"
#include "ui/preview/dump_view.h"
#include "ui/preview/legacy_office_text.h"
#include "ui/preview/media_view.h"
#include "ui/preview/office_text.h"
#include "ui/preview/pdf_view.h"
#include "ui/preview/picture_view.h"

namespace keldrive::ui {
namespace {

// The hex view shows this much of a file; the dump takes its first 8192 bytes of it.
constexpr qsizetype kHexBytes = 64 * 1024;

QWidget* TextView(const QString& text, QWidget* parent) {
  if (text.trimmed().isEmpty()) return nullptr;
  auto* view = new QPlainTextEdit(text, parent);
  view->setObjectName("PreviewText");
  view->setReadOnly(true);
  return view;
}

QWidget* ViewerOf(PreviewKind kind, const QString& fileName, const PreviewSource& source,
                  const PreviewTexts& texts, QWidget* parent) {
  switch (kind) {
    case PreviewKind::kPicture:
      return new PictureView(DecodePicture(source), texts.badPicture, parent);
    case PreviewKind::kAudio:
    case PreviewKind::kVideo:
      if (!source.IsFile()) return nullptr;
      return new MediaView(source.path, kind == PreviewKind::kVideo, texts.badMedia, parent);
    case PreviewKind::kPdf:
      return CreatePdfView(source, parent);
    case PreviewKind::kOfficeText:
      return TextView(OfficeDocumentText(source), parent);
    case PreviewKind::kLegacyOfficeText:
      return TextView(LegacyOfficeText(source), parent);
    case PreviewKind::kArchive:
      return CreateArchiveView(source, fileName, parent);
    case PreviewKind::kDump:
      break;
  }
  return nullptr;
}

}  // namespace

PreviewOutcome CreatePreview(const QString& fileName, const PreviewSource& source,
                             const PreviewTexts& texts, QWidget* parent) {
  const PreviewKind kind = KindOfName(fileName.toStdString());
  if (QWidget* viewer = ViewerOf(kind, fileName, source, texts, parent)) return {viewer, kind};
  return {CreateDumpView(source.Head(kHexBytes), parent), PreviewKind::kDump};
}

}  // namespace keldrive::ui
