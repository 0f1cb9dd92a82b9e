#include "ui/preview/legacy_office_text.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <QtEndian>
#include <mutex>

namespace keldrive::ui {
namespace {

constexpr qsizetype kMaxStreamBytes = 16 * 1024 * 1024;
constexpr qsizetype kMaxTextChars = 1024 * 1024;

template <typename T>
struct Unref {
  void operator()(T* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
using InputPtr = std::unique_ptr<GsfInput, Unref<GsfInput>>;
using InfilePtr = std::unique_ptr<GsfInfile, Unref<GsfInfile>>;

QByteArray ReadAt(GsfInput* input, gsf_off_t offset, qsizetype count) {
  if (offset < 0 || count <= 0 || offset + count > gsf_input_size(input)) return {};
  if (gsf_input_seek(input, offset, G_SEEK_SET)) return {};
  QByteArray bytes(count, '\0');
  if (gsf_input_read(input, static_cast<std::size_t>(count),
                     reinterpret_cast<guint8*>(bytes.data())) == nullptr)
    return {};
  return bytes;
}

QByteArray ReadAll(GsfInput* input) {
  return ReadAt(input, 0, std::min<gsf_off_t>(gsf_input_size(input), kMaxStreamBytes));
}

template <typename T>
T At(const QByteArray& bytes, qsizetype offset) {
  if (offset < 0 || offset + qsizetype(sizeof(T)) > bytes.size()) return 0;
  return qFromLittleEndian<T>(bytes.constData() + offset);
}

QString Cp1252(const QByteArray& bytes) {
  return QString::fromLatin1(bytes);  // close enough for a preview
}

QString Utf16(const QByteArray& bytes) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

// Word 97-2003: the FIB names the table stream and the Clx in it, whose piece table maps
// the text to where it lies in the WordDocument stream (8-bit or UTF-16 per piece).
QString WordText(GsfInfile* ole) {
  InputPtr document(gsf_infile_child_by_name(ole, "WordDocument"));
  if (!document) return {};
  const QByteArray fib = ReadAt(document.get(), 0, 0x1AA);
  if (At<quint16>(fib, 0) != 0xA5EC) return {};
  const bool table1 = (At<quint16>(fib, 0x0A) & 0x0200) != 0;
  const quint32 fcClx = At<quint32>(fib, 0x1A2);
  const quint32 lcbClx = At<quint32>(fib, 0x1A6);
  InputPtr table(gsf_infile_child_by_name(ole, table1 ? "1Table" : "0Table"));
  if (!table) return {};
  const QByteArray clx = ReadAt(table.get(), fcClx, lcbClx);
  qsizetype pos = 0;
  while (pos < clx.size() && clx[pos] == 0x01) pos += 3 + At<quint16>(clx, pos + 1);  // Prc
  if (pos >= clx.size() || clx[pos] != 0x02) return {};
  const quint32 lcb = At<quint32>(clx, pos + 1);
  const qsizetype plc = pos + 5;
  const qsizetype pieces = (qsizetype(lcb) - 4) / 12;  // n+1 CPs of 4, n PCDs of 8
  QString text;
  for (qsizetype i = 0; i < pieces && text.size() < kMaxTextChars; ++i) {
    const quint32 cpStart = At<quint32>(clx, plc + i * 4);
    const quint32 cpEnd = At<quint32>(clx, plc + (i + 1) * 4);
    const quint32 fc = At<quint32>(clx, plc + (pieces + 1) * 4 + i * 8 + 2);
    if (cpEnd <= cpStart) continue;
    const qsizetype chars = std::min<qsizetype>(cpEnd - cpStart, kMaxTextChars);
    if ((fc & 0x40000000) != 0) {
      text += Cp1252(ReadAt(document.get(), (fc & ~0x40000000u) / 2, chars));
    } else {
      text += Utf16(ReadAt(document.get(), fc, chars * 2));
    }
  }
  // Paragraph and cell marks become line breaks; field codes and objects go.
  QString clean;
  for (QChar c : text) {
    if (c == u'\r' || c == u'\x07' || c == u'\x0B' || c == u'\x0C') {
      clean += '\n';
    } else if (c == u'\t' || c.unicode() >= 0x20) {
      clean += c;
    }
  }
  return clean;
}

// PowerPoint 97-2003: the TextCharsAtom (UTF-16) and TextBytesAtom (8-bit) records.
QString PowerPointText(GsfInfile* ole) {
  InputPtr stream(gsf_infile_child_by_name(ole, "PowerPoint Document"));
  if (!stream) return {};
  const QByteArray bytes = ReadAll(stream.get());
  QString text;
  qsizetype pos = 0;
  while (pos + 8 <= bytes.size()) {
    const quint16 version = At<quint16>(bytes, pos) & 0x0F;
    const quint16 type = At<quint16>(bytes, pos + 2);
    const quint32 length = At<quint32>(bytes, pos + 4);
    if (version == 0x0F) {  // a container: its records follow
      pos += 8;
      continue;
    }
    if (type == 0x0FA0) text += Utf16(bytes.mid(pos + 8, length)) + '\n';
    if (type == 0x0FA8) text += Cp1252(bytes.mid(pos + 8, length)) + '\n';
    pos += 8 + qsizetype(length);
  }
  text.replace('\r', '\n');
  return text;
}

void AllStreamRuns(GsfInfile* folder, QString& text) {
  const int count = gsf_infile_num_children(folder);
  for (int i = 0; i < count && text.size() < kMaxTextChars; ++i) {
    InputPtr child(gsf_infile_child_by_index(folder, i));
    if (!child) continue;
    if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
      AllStreamRuns(GSF_INFILE(child.get()), text);
    } else {
      text += TextRuns(ReadAll(child.get()));
    }
  }
}

bool IsReadable(char16_t c) {
  return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c < 0xD800) || c == u'\t';
}

}  // namespace

QString TextRuns(const QByteArray& bytes) {
  constexpr qsizetype kMinRun = 4;
  QString text;
  qsizetype i = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype size = bytes.size();
  while (i < size) {
    // UTF-16LE first: its ASCII letters would otherwise read as one-character runs.
    qsizetype j = i;
    QString run;
    while (j + 1 < size && IsReadable(char16_t(data[j] | (data[j + 1] << 8)))) {
      run += QChar(char16_t(data[j] | (data[j + 1] << 8)));
      j += 2;
    }
    if (run.size() >= kMinRun) {
      text += run + '\n';
      i = j;
      continue;
    }
    j = i;
    run.clear();
    while (j < size && data[j] >= 0x20 && data[j] < 0x7F) run += QChar(data[j++]);
    if (run.size() >= kMinRun) {
      text += run + '\n';
      i = j;
    } else {
      ++i;
    }
  }
  return text;
}

QString LegacyOfficeText(const PreviewSource& source) {
  static std::once_flag started;
  std::call_once(started, [] { gsf_init(); });
  InputPtr input;
  if (source.IsFile()) {
    input.reset(gsf_input_stdio_new(source.path.toLocal8Bit().constData(), nullptr));
  } else {
    input.reset(gsf_input_memory_new(reinterpret_cast<const guint8*>(source.data.constData()),
                                     static_cast<gsf_off_t>(source.data.size()), FALSE));
  }
  if (!input) return {};
  InfilePtr ole(gsf_infile_msole_new(input.get(), nullptr));
  if (!ole) return {};
  QString text = WordText(ole.get());
  if (text.trimmed().isEmpty()) text = PowerPointText(ole.get());
  if (text.trimmed().isEmpty()) AllStreamRuns(ole.get(), text);
  return text.left(kMaxTextChars);
}

}  // namespace keldrive::ui
