#include "ui/preview/dump_view.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTabWidget>

namespace keldrive::ui {
namespace {

char Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x7F ? c : '.';
}

QPlainTextEdit* TextPane(const QString& text, bool wrap, QWidget* parent) {
  auto* pane = new QPlainTextEdit(text, parent);
  pane->setReadOnly(true);
  // The dump's own lines are 1024 long: the pane wraps them; hex lines never need it.
  pane->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return pane;
}

}  // namespace

QString DumpText(const QByteArray& bytes) {
  const qsizetype count = std::min(bytes.size(), kDumpBytes);
  QString text;
  text.reserve(count + count / kDumpLineChars);
  for (qsizetype i = 0; i < count; ++i) {
    if (i > 0 && i % kDumpLineChars == 0) text += '\n';
    text += QChar(Shown(bytes[i]));
  }
  return text;
}

QString HexText(const QByteArray& bytes, qsizetype limit) {
  const qsizetype count = std::min(bytes.size(), limit);
  QString text;
  for (qsizetype line = 0; line < count; line += 16) {
    QString hex;
    QString chars;
    for (qsizetype i = line; i < line + 16; ++i) {
      if (i < count) {
        hex += QString::asprintf("%02X ", static_cast<unsigned char>(bytes[i]));
        chars += QChar(Shown(bytes[i]));
      } else {
        hex += "   ";
      }
    }
    text += QString::asprintf("%08llX  ", static_cast<unsigned long long>(line)) + hex + ' ' +
            chars + '\n';
  }
  return text;
}

QWidget* CreateDumpView(const QByteArray& bytes, QWidget* parent) {
  auto* tabs = new QTabWidget(parent);
  tabs->setObjectName("PreviewDump");
  tabs->addTab(TextPane(DumpText(bytes), true, tabs), "Text");
  tabs->widget(0)->setObjectName("PreviewDumpText");
  tabs->addTab(TextPane(HexText(bytes), false, tabs), "Hex");
  tabs->widget(1)->setObjectName("PreviewHexText");
  return tabs;
}

}  // namespace keldrive::ui
