#pragma once

#include <QString>
#include <QWidget>

#include "ui/preview/preview_kind.h"
#include "ui/preview/preview_source.h"

namespace keldrive::ui {

// The texts the viewers show when a file cannot be shown (MSG0905, MSG1207).
struct PreviewTexts {
  QString badPicture;
  QString badMedia;
};

struct PreviewOutcome {
  QWidget* widget = nullptr;
  PreviewKind shown = PreviewKind::kDump;  // the dump when the kind's viewer gave nothing
};

// The viewer of a found file, chosen by the extension of `fileName`, falling back to the
// dump when the viewer gets nothing out of the file. A picture that cannot be decoded says
// so instead.
PreviewOutcome CreatePreview(const QString& fileName, const PreviewSource& source,
                             const PreviewTexts& texts, QWidget* parent);

}  // namespace keldrive::ui
