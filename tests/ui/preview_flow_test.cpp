// The preview flow of the desktop program on the demo image: the pane shows each kind of
// file and removes the last preview file; the preview window steps through the pictures
// of the list, wrapping, and recovers the one shown; stopping a preview asks while the copy
// waits, and a yes ends it.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/app_folder.h"
#include "gui_test_support.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/preview/picture_view.h"
#include "ui/preview_process_window.h"
#include "ui/preview_window.h"
#include "ui/recover_process_window.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {
namespace {

const QString kFixtures = KELDRIVE_FIXTURES;

// An engine whose preview copy takes a hundred slow steps, counting them.
class SlowPreviewEngine final : public IFileRecoveryParse {
 public:
  std::atomic<int> steps{0};

  ResultCode ExtractForPreview(const FoundFile&, std::string& tempPath, std::span<std::uint8_t>,
                               std::uint32_t& size, ListProgressCallback progress,
                               void* context) override {
    tempPath.clear();
    size = 0;
    for (int step = 1; step <= 100; ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const ResultCode rc = progress(context, step, result::kSuccess);
      if (rc != result::kSuccess) return rc;
      steps = step;
    }
    return result::kSuccess;
  }
  ResultCode AttachImageFile(const std::string&, char16_t) override { return 0; }
  ResultCode AttachDiskPartition(std::uint32_t, std::uint64_t, std::uint64_t, char16_t) override {
    return 0;
  }
  ResultCode AttachDevice(SectorDevice, std::uint64_t, std::uint64_t, char16_t,
                          std::uint32_t) override {
    return 0;
  }
  ResultCode SetProgressCallbacks(ScanProgressCallback, RecoverProgressCallback, void*,
                                  std::int32_t) override {
    return 0;
  }
  ResultCode Scan(std::string_view) override { return 0; }
  ResultCode ListFolder(const FoundFile*, std::int32_t, std::vector<FoundFile>&) override {
    return 0;
  }
  ResultCode CountFolderFiles(const FoundFile*, std::int32_t, std::int32_t&) override { return 0; }
  std::uint64_t GetFoundCount() override { return 0; }
  ResultCode GetParentPath(const FoundFile&, std::string&) override { return 0; }
  ResultCode RecoverItem(const FoundFile&, const std::string&, std::int32_t) override { return 0; }
  std::int32_t NextFreeExtent(std::uint64_t&, std::uint64_t&) override { return 0; }
  ResultCode SetListProgressCallback(ListProgressCallback, void*) override { return 0; }
  std::int32_t ListFilesByType(const std::string&, std::vector<FoundFile>&) override { return 0; }
  ResultCode BuildUsedClusterMap() override { return 0; }
};

void Click(QWidget& root, const char* name) {
  auto* button = root.findChild<QAbstractButton*>(name);
  QVERIFY2(button != nullptr, name);
  button->click();
}

}  // namespace

class PreviewFlowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;
  QString image_;
  std::unique_ptr<CMainWnd> window_;

  QString PreviewFolder() const { return work_.path() + "/scans/Preview"; }

  void ScanDemo() {
    Click(*window_, "BtnDeletedRecovery");
    window_->SetPathChoosers({[this](QWidget*) { return image_; }, {}, {}});
    Click(*window_, "BtnLoadImage");
    QSignalSpy shown(window_.get(), &CMainWnd::resultsShown);
    Click(*window_, "BtnScan");
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 60000);
  }

  // Shows the type node "<extension> Files (n)" and makes the row of `name` current, which
  // previews it; false when either is missing.
  bool Select(const QString& extension, const QString& name) {
    QTreeWidget& tree = window_->TypeTree();
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
      QTreeWidgetItem* category = tree.topLevelItem(i);
      for (int j = 0; j < category->childCount(); ++j) {
        if (category->child(j)->text(0).startsWith(extension + " Files")) {
          tree.setCurrentItem(category->child(j));
        }
      }
    }
    FileListModel& list = window_->FileList();
    for (int row = 0; row < list.rowCount(); ++row) {
      if (list.CellText(list.EntryAt(row), FileListModel::kFileName) == name) {
        auto* view = window_->findChild<QTableView*>("FileList");
        view->setCurrentIndex(list.index(row, 0));
        return true;
      }
    }
    return false;
  }

 private slots:
  void initTestCase() {
    QVERIFY(work_.isValid());
    qputenv("XDG_DATA_HOME", (work_.path() + "/data").toUtf8());
    std::string appFolder;
    QCOMPARE(AppFolder(appFolder), result::kSuccess);
    SetTexts(std::make_unique<UiTexts>(appFolder));
    image_ = testing::UnpackFixture(kFixtures + "/fat/demo.img.gz", work_.path());
    CMessageBox::SetResponder([](MessageKind, const QString&) { return 1; });
    window_ = std::make_unique<CMainWnd>(ToUtf8(work_.path() + "/scans"));
    window_->resize(1100, 680);
    window_->show();
    ScanDemo();
  }

  void cleanupTestCase() { window_.reset(); }

  void thePaneShowsEachKindAndRemovesTheLastPreviewFile_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QString>("tempFile");  // empty: previewed from memory
    QTest::newRow("picture") << "JPG"
                             << "Sandcastle.jpg"
                             << "PreviewPicture"
                             << "tmp.jpg";
    QTest::newRow("pdf") << "PDF"
                         << "Invoice 2024-03.pdf"
                         << "PreviewPdf"
                         << "Invoice 2024-03.pdf";
    QTest::newRow("document") << "DOCX"
                              << "Resume 2024.docx"
                              << "PreviewText"
                              << "Resume 2024.docx";
    QTest::newRow("archive") << "ZIP"
                             << "Project backup.zip"
                             << "PreviewArchive"
                             << "Project backup.zip";
    QTest::newRow("text") << "TXT"
                          << "Recipe.txt"
                          << "PreviewDump"
                          << "";
  }

  void thePaneShowsEachKindAndRemovesTheLastPreviewFile() {
    QFETCH(QString, extension);
    QFETCH(QString, name);
    QFETCH(QString, viewer);
    QFETCH(QString, tempFile);
    QVERIFY(Select(extension, name));
    QWidget* shown = window_->PreviewViewer();
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->objectName(), viewer);
    QVERIFY(window_->findChild<QTextBrowser*>("PreviewEdit")->toPlainText().contains(name));
    if (auto* picture = qobject_cast<PictureView*>(shown)) {
      QVERIFY(!picture->Shown().image.isNull());
    }
    const QStringList left = QDir(PreviewFolder()).entryList(QDir::Files);
    QCOMPARE(left, tempFile.isEmpty() ? QStringList() : QStringList{tempFile});
    QVERIFY(shown->isVisible());
    QTest::qWait(50);  // the layout settles before the picture
    testing::Screenshot(*window_, "preview-pane-" + QString(QTest::currentDataTag()));
  }

  void nextOnTheLastPictureWrapsAndTheShownOneIsRecovered() {
    QVERIFY(Select("JPG", "Sandcastle.jpg"));
    FileListModel& list = window_->FileList();
    const int last = list.rowCount() - 1;
    QVERIFY(last >= 2);
    window_->findChild<QTableView*>("FileList")->setCurrentIndex(list.index(last, 0));
    QTemporaryDir target;
    window_->SetPathChoosers({{}, [&target](QWidget*) { return target.path(); }, {}});
    connect(window_.get(), &CMainWnd::popUpOpening, this, [](CPopUpWnd* popUp) {
      if (qobject_cast<CRecoverProcessWnd*>(popUp) == nullptr) return;
      auto* timer = new QTimer(popUp);
      connect(timer, &QTimer::timeout, popUp, [popUp] {
        if (popUp->Finished()) popUp->findChild<QPushButton*>("FinishBtn")->click();
      });
      timer->start(20);
    });
    std::vector<std::size_t> visited;
    QString recovered;
    connect(window_.get(), &CMainWnd::previewWindowOpening, this, [&](CPreviewWnd* preview) {
      visited.push_back(preview->CurrentEntry());
      preview->Next();  // from the last picture to the first
      visited.push_back(preview->CurrentEntry());
      QVERIFY(qobject_cast<PictureView*>(preview->Viewer()) != nullptr);
      QTest::qWait(50);
      testing::Screenshot(*preview, "preview-window");
      preview->Previous();  // and back
      visited.push_back(preview->CurrentEntry());
      recovered = list.CellText(preview->CurrentEntry(), FileListModel::kFileName);
      preview->findChild<QPushButton*>("BtnRecoverThis")->click();
      QTimer::singleShot(0, preview, &QDialog::accept);
    });
    window_->OpenPreviewWindow();
    disconnect(window_.get(), nullptr, this, nullptr);
    QCOMPARE(visited,
             (std::vector<std::size_t>{list.EntryAt(last), list.EntryAt(0), list.EntryAt(last)}));
    QVERIFY(QFile::exists(target.path() + "/photo/" + recovered));
  }

  void stoppingAPreviewAsksWhileTheCopyWaitsAndAYesEndsIt() {
    SlowPreviewEngine engine;
    std::vector<std::uint8_t> buffer(16);
    FoundFile record;
    record.SetName("slow.bin");
    CPreviewProcessWnd popUp(window_.get(), engine, record, buffer);
    int stepsWhenAsked = -1;
    int stepsWhenAnswered = -1;
    CMessageBox::SetResponder([&](MessageKind, const QString& text) {
      if (text != Texts().Message("MSG0903")) return 1;
      stepsWhenAsked = engine.steps;
      QTest::qWait(150);  // fifteen steps' time: the copy must not take them
      stepsWhenAnswered = engine.steps;
      return 1;
    });
    connect(&popUp, &CPopUpWnd::progressShown, &popUp, [&popUp] {
      if (!popUp.CancelRequested()) popUp.findChild<QPushButton*>("CancelBtn")->click();
    });
    QCOMPARE(popUp.exec(), int(CPopUpWnd::kCancelled));
    CMessageBox::SetResponder([](MessageKind, const QString&) { return 1; });
    QVERIFY(stepsWhenAsked >= 0);
    QVERIFY(stepsWhenAnswered - stepsWhenAsked <= 1);  // one step may have been under way
    QVERIFY(engine.steps < 100);
    QCOMPARE(popUp.Result(), ResultCancelled);
  }
};

}  // namespace keldrive::ui

int RunPreviewFlowTests(int argc, char** argv) {
  keldrive::ui::PreviewFlowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "preview_flow_test.moc"
