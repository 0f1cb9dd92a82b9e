#include "ui/preview/preview_source.h"

#include <QBuffer>
#include <QFile>

namespace keldrive::ui {

std::unique_ptr<QIODevice> PreviewSource::Open() const {
  if (IsFile()) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) return nullptr;
    return file;
  }
  auto buffer = std::make_unique<QBuffer>();
  buffer->setData(data);  // shared, not copied
  buffer->open(QIODevice::ReadOnly);
  return buffer;
}

QByteArray PreviewSource::Head(qsizetype count) const {
  if (!IsFile()) return data.left(count);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(count);
}

}  // namespace keldrive::ui
