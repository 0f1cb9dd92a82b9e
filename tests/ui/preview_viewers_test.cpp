// The preview viewers on files made by the real tools (tests/fixtures/preview): every row
// of truth.tsv is checked from the temporary file and, where the engine could hand it so,
// from the memory buffer; and the choice of viewer, the dump and the fallbacks.
#include <QFile>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include "ui/preview/archive_list.h"
#include "ui/preview/dump_view.h"
#include "ui/preview/legacy_office_text.h"
#include "ui/preview/media_view.h"
#include "ui/preview/office_text.h"
#include "ui/preview/pdf_view.h"
#include "ui/preview/picture_view.h"
#include "ui/preview/preview_kind.h"
#include "ui/preview/preview_view.h"

namespace keldrive::ui {
namespace {

const QString kFolder = QString(KELDRIVE_FIXTURES) + "/preview";

PreviewSource FromMemory(const QString& path) {
  QFile file(path);
  if (!file.open(QFile::ReadOnly)) return {};
  return {{}, file.readAll()};
}

// Whether a rendered page holds anything darker than paper.
bool HasInk(const QImage& page) {
  QImage paper(page.size(), QImage::Format_RGB32);
  paper.fill(Qt::white);
  QPainter(&paper).drawImage(0, 0, page);
  for (int y = 0; y < paper.height(); ++y) {
    for (int x = 0; x < paper.width(); ++x) {
      if (qGray(paper.pixel(x, y)) < 128) return true;
    }
  }
  return false;
}

QString TextOf(const QString& name, const PreviewSource& source) {
  return KindOfName(name.toStdString()) == PreviewKind::kOfficeText ? OfficeDocumentText(source)
                                                                    : LegacyOfficeText(source);
}

}  // namespace

class PreviewViewersTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;

 private slots:
  void initTestCase() {
    QVERIFY(work_.isValid());
    QProcess tar;
    tar.start("tar", {"-xzf", kFolder + "/preview_fixtures.tar.gz", "-C", work_.path()});
    QVERIFY(tar.waitForFinished() && tar.exitCode() == 0);
  }

  void eachViewerFindsWhatTheToolsWrote_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("inMemory");
    QFile truth(kFolder + "/truth.tsv");
    QVERIFY(truth.open(QFile::ReadOnly));
    QTextStream in(&truth);
    while (!in.atEnd()) {
      const QString line = in.readLine();
      if (line.isEmpty() || line.startsWith('#')) continue;
      const QStringList cells = line.split('\t');
      const QString name = cells[0] + " " + cells[1] + " " + cells.value(2);
      QTest::newRow(qPrintable(name + " (file)"))
          << cells[0] << cells[1] << cells.value(2) << false;
      // Media always get a file; every other kind may come in the buffer.
      if (cells[1] != "media") {
        QTest::newRow(qPrintable(name + " (memory)"))
            << cells[0] << cells[1] << cells.value(2) << true;
      }
    }
  }

  void eachViewerFindsWhatTheToolsWrote() {
    QFETCH(QString, file);
    QFETCH(QString, check);
    QFETCH(QString, value);
    QFETCH(bool, inMemory);
    const QString path = work_.path() + "/" + file;
    const PreviewSource source = inMemory ? FromMemory(path) : PreviewSource{path, {}};
    if (check == "size") {
      const Picture picture = DecodePicture(source);
      QCOMPARE(QString("%1x%2").arg(picture.pixels.width()).arg(picture.pixels.height()), value);
    } else if (check == "bad-picture") {
      QVERIFY(DecodePicture(source).image.isNull());
    } else if (check == "page") {
      const QImage page = RenderFirstPdfPage(source, QSize(400, 400));
      QVERIFY(!page.isNull());
      QVERIFY(page.width() <= 400 && page.height() == 400);  // A4 upright fits by height
      QVERIFY(HasInk(page));
    } else if (check == "text") {
      const QString text = TextOf(file, source);
      QVERIFY2(text.contains(value), qPrintable(text.left(500)));
    } else if (check == "member") {
      const ArchiveListing listing = ListArchive(source, file);
      QVERIFY2(listing.error.isEmpty(), qPrintable(listing.error));
      const QStringList expected = value.split(' ');
      bool found = false;
      for (const ArchiveMember& member : listing.members) {
        found |= member.name == expected[0] && member.size == expected[1].toLongLong();
      }
      QVERIFY(found);
    } else if (check == "media") {
      MediaView view(path, file.endsWith(".mp4"), "bad");
      QTRY_COMPARE_WITH_TIMEOUT(view.Player().mediaStatus(), QMediaPlayer::LoadedMedia, 10000);
      QVERIFY(view.Player().duration() > 500);
      QVERIFY(!view.Failed());
    } else {
      QFAIL(qPrintable("unknown check " + check));
    }
  }

  // The engine writes every photo to "tmp.jpg": the content decides the reader.
  void aPictureIsReadByItsContentNotItsTemporaryName() {
    const QString renamed = work_.path() + "/tmp.jpg";
    QVERIFY(QFile::copy(work_.path() + "/picture.tif", renamed));
    QCOMPARE(DecodePicture({renamed, {}}).pixels, QSize(33, 21));
  }

  void theExtensionChoosesTheViewer_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expectedClass");
    QTest::addColumn<int>("kind");
    const auto row = [](const char* name, PreviewClass c, PreviewKind k) {
      QTest::newRow(name) << name << int(c) << int(k);
    };
    row("song.rm", PreviewClass::kAudio, PreviewKind::kAudio);  // audio is asked before video
    row("film.RMVB", PreviewClass::kVideo, PreviewKind::kVideo);
    row("odd.p", PreviewClass::kDocument, PreviewKind::kDump);  // "p" is in "*.pdf"
    row("Scan.JPG", PreviewClass::kPicture, PreviewKind::kPicture);
    row("a.pdf", PreviewClass::kDocument, PreviewKind::kPdf);
    row("sheet.ods", PreviewClass::kOther, PreviewKind::kOfficeText);  // not in the list
    row("b.xls", PreviewClass::kDocument, PreviewKind::kLegacyOfficeText);
    row("c.xz", PreviewClass::kOther, PreviewKind::kArchive);
    row("d.tar.gz", PreviewClass::kDocument, PreviewKind::kArchive);
    row("README", PreviewClass::kOther, PreviewKind::kDump);
    row("e.exe", PreviewClass::kOther, PreviewKind::kDump);
  }

  void theExtensionChoosesTheViewer() {
    QFETCH(QString, name);
    QFETCH(int, expectedClass);
    QFETCH(int, kind);
    const std::string text = name.toStdString();
    const auto dot = text.rfind('.');
    std::string extension = dot == std::string::npos ? "" : text.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    QCOMPARE(int(ClassOfExtension(extension)), expectedClass);
    QCOMPARE(int(KindOfName(text)), kind);
  }

  void theDumpBreaksAfterEvery1024OfThe8192FirstBytes() {
    QByteArray bytes(9000, 'x');
    bytes[0] = '\0';
    bytes[1023] = '\n';  // a break of the file's own is not one of the dump's
    const QStringList lines = DumpText(bytes).split('\n');
    QCOMPARE(lines.size(), 8);
    for (const QString& line : lines) QCOMPARE(line.size(), 1024);
    QVERIFY(lines[0].startsWith(".x") && lines[0].endsWith('.'));
    QCOMPARE(DumpText(QByteArray(1024, 'y')).count('\n'), 0);  // no break after the last
    QCOMPARE(HexText("AB\x01", 16), QString("00000000  41 42 01 %1 AB.\n").arg("", 39));
  }

  void aFileTheViewerCannotReadFallsBackToTheDump() {
    QWidget host;
    const QByteArray junk("this is not a zip package at all");
    for (const char* name : {"notes.docx", "notes.doc", "notes.pdf", "notes.zip"}) {
      const PreviewOutcome outcome = CreatePreview(name, {{}, junk}, {"bad", "bad"}, &host);
      QCOMPARE(int(outcome.shown), int(PreviewKind::kDump));
      auto* text = outcome.widget->findChild<QPlainTextEdit*>("PreviewDumpText");
      QVERIFY2(text != nullptr && text->toPlainText() == QString(junk), name);
    }
    // A picture says it cannot be shown instead.
    const PreviewOutcome bad =
        CreatePreview("x.jpg", {work_.path() + "/broken.jpg", {}}, {"MSG0905 text", ""}, &host);
    QCOMPARE(int(bad.shown), int(PreviewKind::kPicture));
    QCOMPARE(static_cast<PictureView*>(bad.widget)->Caption(), QString("MSG0905 text"));
    // And a player that cannot read its file says so.
    QFile junkMedia(work_.path() + "/junk.mp3");
    QVERIFY(junkMedia.open(QFile::WriteOnly) && junkMedia.write(junk) == junk.size());
    junkMedia.close();
    MediaView player(junkMedia.fileName(), false, "MSG1207 text");
    QTRY_VERIFY_WITH_TIMEOUT(player.Failed(), 10000);
  }
};

}  // namespace keldrive::ui

int RunPreviewViewersTests(int argc, char** argv) {
  keldrive::ui::PreviewViewersTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "preview_viewers_test.moc"
