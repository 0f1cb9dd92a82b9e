#pragma once

#include <QByteArray>
#include <QString>

#include "ui/preview/preview_source.h"

namespace keldrive::ui {

// The text of an OOXML (docx, xlsx, pptx) or ODF (odt, ods, odp) document, read from the
// zip package through libarchive and its XML through QXmlStreamReader: a paragraph, cell
// or shared string a line, the slides and sheets in their order. Empty when the package
// holds none of the parts.
QString OfficeDocumentText(const PreviewSource& source);

// The text of one XML part: the characters of the text elements (OOXML "t"; every element
// when `everyElement`, as in ODF), a line break after each paragraph-like element.
QString XmlPartText(const QByteArray& xml, bool everyElement);

}  // namespace keldrive::ui
