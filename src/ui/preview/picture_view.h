#pragma once

#include <QImage>
#include <QLabel>
#include <QSize>
#include <QString>

#include "ui/preview/preview_source.h"

namespace keldrive::ui {

// A decoded picture: the image and its size in pixels; a null image when the readers
// could not decode it.
struct Picture {
  QImage image;
  QSize pixels;
};

// Decodes with Qt's image readers, which know the format from the content (the temporary
// file of a photo is always "tmp.jpg", whatever it holds).
Picture DecodePicture(const PreviewSource& source);

// Shows a picture scaled to fit (never enlarged), with its size in pixels beneath; a
// picture that cannot be decoded shows `failure` instead of a blank.
class PictureView : public QWidget {
  Q_OBJECT

 public:
  PictureView(Picture picture, const QString& failure, QWidget* parent = nullptr);

  const Picture& Shown() const { return picture_; }
  // The caption beneath: "640 x 480 pixels", or the failure text.
  QString Caption() const;
  void SetCaption(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Rescale();

  Picture picture_;
  QLabel* image_;
  QLabel* caption_;
};

}  // namespace keldrive::ui
