#include "ui/preview/picture_view.h"

#include <QImageReader>
#include <QVBoxLayout>
#include <algorithm>

namespace keldrive::ui {

Picture DecodePicture(const PreviewSource& source) {
  Picture picture;
  auto device = source.Open();
  if (!device) return picture;
  QImageReader reader(device.get());
  reader.setAutoTransform(true);
  reader.setDecideFormatFromContent(true);  // never by the "tmp.jpg" name
  picture.image = reader.read();
  if (!picture.image.isNull()) picture.pixels = picture.image.size();
  return picture;
}

PictureView::PictureView(Picture picture, const QString& failure, QWidget* parent)
    : QWidget(parent), picture_(std::move(picture)) {
  setObjectName("PreviewPicture");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  image_ = new QLabel(this);
  image_->setAlignment(Qt::AlignCenter);
  image_->setMinimumSize(1, 1);  // else the pixmap holds the window at its full size
  image_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  caption_->setWordWrap(true);
  if (picture_.image.isNull()) {
    caption_->setText(failure);
  } else {
    caption_->setText(
        QString("%1 x %2 pixels").arg(picture_.pixels.width()).arg(picture_.pixels.height()));
  }
  layout->addWidget(image_, 1);
  layout->addWidget(caption_);
}

QString PictureView::Caption() const {
  return caption_->text();
}

void PictureView::SetCaption(const QString& text) {
  caption_->setText(text);
}

void PictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Rescale();
}

void PictureView::Rescale() {
  if (picture_.image.isNull()) return;
  const QSize room = image_->size();
  QImage shown = picture_.image;
  if (shown.width() > room.width() || shown.height() > room.height()) {
    // The width that fits both ways; scaledToWidth keeps the proportions.
    const double factor =
        std::min(double(room.width()) / shown.width(), double(room.height()) / shown.height());
    shown = shown.scaledToWidth(std::max(1, int(shown.width() * factor)), Qt::SmoothTransformation);
  }
  image_->setPixmap(QPixmap::fromImage(shown));
}

}  // namespace keldrive::ui
