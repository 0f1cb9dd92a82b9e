#pragma once

#include <QByteArray>
#include <QString>

#include "ui/preview/preview_source.h"

namespace keldrive::ui {

// The text a Word, Excel or PowerPoint 97-2003 compound file holds, read through libgsf:
// Word's text from its piece table, PowerPoint's text atoms, and for the rest (Excel) the
// runs of readable UTF-16 or 8-bit characters of its streams. Empty when the file is no
// compound file.
QString LegacyOfficeText(const PreviewSource& source);

// Runs of at least four readable characters, UTF-16LE or 8-bit, a line each.
QString TextRuns(const QByteArray& bytes);

}  // namespace keldrive::ui
