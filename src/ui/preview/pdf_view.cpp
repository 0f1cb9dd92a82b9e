#include "ui/preview/pdf_view.h"

#include <QEventLoop>
#include <QPainter>
#include <QPdfDocument>
#include <QTimer>
#include <algorithm>

#include "ui/preview/picture_view.h"

namespace keldrive::ui {
namespace {

bool Settled(QPdfDocument::Status status) {
  return status == QPdfDocument::Status::Ready || status == QPdfDocument::Status::Error;
}

}  // namespace

QImage RenderFirstPdfPage(const PreviewSource& source, QSize box) {
  QPdfDocument document;
  std::unique_ptr<QIODevice> device;
  if (source.IsFile()) {
    document.load(source.path);  // a file loads at once, never into memory whole
  } else {
    device = source.Open();
    document.load(device.get());
    // Loading from a device may finish later; wait for it, but not for ever.
    if (!Settled(document.status())) {
      QEventLoop loop;
      QObject::connect(&document, &QPdfDocument::statusChanged, &loop,
                       [&](QPdfDocument::Status status) {
                         if (Settled(status)) loop.quit();
                       });
      QTimer::singleShot(5000, &loop, &QEventLoop::quit);
      loop.exec();
    }
  }
  if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1) return {};
  const QSizeF points = document.pagePointSize(0);
  if (points.isEmpty()) return {};
  const double factor = std::min(box.width() / points.width(), box.height() / points.height());
  const QSize size(std::max(1, qRound(points.width() * factor)),
                   std::max(1, qRound(points.height() * factor)));
  QImage page = document.render(0, size);
  document.close();
  return page;
}

QWidget* CreatePdfView(const PreviewSource& source, QWidget* parent) {
  const QImage page = RenderFirstPdfPage(source, QSize(800, 1100));
  if (page.isNull()) return nullptr;
  // A page is white: a transparent render would show the window behind it.
  QImage opaque(page.size(), QImage::Format_RGB32);
  opaque.fill(Qt::white);
  QPainter(&opaque).drawImage(0, 0, page);
  auto* view = new PictureView({opaque, opaque.size()}, {}, parent);
  view->setObjectName("PreviewPdf");
  view->SetCaption("First page");
  return view;
}

}  // namespace keldrive::ui
