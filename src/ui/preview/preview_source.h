#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

namespace keldrive::ui {

// The memory buffer a preview may use; a larger file is read from its temporary file.
inline constexpr qsizetype kPreviewBufferBytes = 20 * 1024 * 1024;

// What ExtractForPreview gave: a temporary file, or bytes in memory (never both).
struct PreviewSource {
  QString path;     // the temporary file, when there is one
  QByteArray data;  // else the file's first bytes, at most kPreviewBufferBytes

  bool IsFile() const { return !path.isEmpty(); }
  // A device over the file or the bytes, open for reading; null when the file cannot be
  // opened.
  std::unique_ptr<QIODevice> Open() const;
  // The first `count` bytes, from wherever they are.
  QByteArray Head(qsizetype count) const;
};

}  // namespace keldrive::ui
