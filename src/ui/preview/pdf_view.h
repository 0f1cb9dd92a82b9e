#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

#include "ui/preview/preview_source.h"

namespace keldrive::ui {

// The first page of a PDF rendered by Qt PDF to fit `box`, keeping its proportions; a null
// image when the document cannot be read or has no page.
QImage RenderFirstPdfPage(const PreviewSource& source, QSize box);

// The rendered page in a scroll area; null when there is nothing to show.
QWidget* CreatePdfView(const PreviewSource& source, QWidget* parent);

}  // namespace keldrive::ui
