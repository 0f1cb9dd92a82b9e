#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

namespace keldrive::ui {

// The fallback of every viewer: the first 8192 bytes as text, a line break after every
// 1024 characters; bytes that are not printable ASCII show as '.'.
inline constexpr qsizetype kDumpBytes = 8192;
inline constexpr qsizetype kDumpLineChars = 1024;
QString DumpText(const QByteArray& bytes);

// Offset, sixteen bytes in hex and their characters a line, of at most `limit` bytes.
QString HexText(const QByteArray& bytes, qsizetype limit = 64 * 1024);

// Tabs "Text" (the dump) and "Hex" over `bytes`.
QWidget* CreateDumpView(const QByteArray& bytes, QWidget* parent);

}  // namespace keldrive::ui
