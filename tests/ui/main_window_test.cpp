// The desktop program on the demo image, as a user goes through it: deleted recovery, the
// image added, scanned, the results browsed by type, sorted, checked and recovered; and the
// page selector under the file list.
#include "ui/main_window.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "app/app_folder.h"
#include "gui_test_support.h"
#include "session/scan_area.h"
#include "ui/message_box.h"
#include "ui/page_selector.h"
#include "ui/progress_window.h"
#include "ui/recover_process_window.h"
#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace keldrive::ui {
namespace {

const QString kFixtures = KELDRIVE_FIXTURES;

QString Sha256(const QString& path) {
  QFile file(path);
  if (!file.open(QFile::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

void Click(QWidget& root, const char* name) {
  auto* button = root.findChild<QAbstractButton*>(name);
  QVERIFY2(button != nullptr, name);
  button->click();
}

// Presses a progress window's button once the window shows it.
void PressWhenShown(CPopUpWnd* window, const char* name) {
  auto* timer = new QTimer(window);
  QObject::connect(timer, &QTimer::timeout, window, [window, name, timer] {
    auto* button = window->findChild<QPushButton*>(name);
    if (button != nullptr && button->isVisible() && window->Finished()) {
      timer->stop();
      button->click();
    }
  });
  timer->start(20);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;
  QString image_;
  std::unique_ptr<CMainWnd> window_;

  // Deleted recovery of the demo image, up to the results page.
  void ScanDemo(CMainWnd& window, const char* modeButton = "BtnDeletedRecovery") {
    Click(window, modeButton);
    QCOMPARE(window.CurrentPage(), int(CMainWnd::kMediaPage));
    window.SetPathChoosers({[this](QWidget*) { return image_; }, {}, {}});
    Click(window, "BtnLoadImage");
    testing::Screenshot(window, "main-media");
    QSignalSpy shown(&window, &CMainWnd::resultsShown);
    Click(window, "BtnScan");
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 60000);
    QCOMPARE(window.CurrentPage(), int(CMainWnd::kResultPage));
  }

  // The files of the type tree's nodes: "JPG" -> 5.
  static std::map<QString, int> ExtensionCounts(QTreeWidget& tree) {
    std::map<QString, int> counts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
      QTreeWidgetItem* category = tree.topLevelItem(i);
      for (int j = 0; j < category->childCount(); ++j) {
        const QString text = category->child(j)->text(0);  // "JPG Files (5)"
        const QRegularExpressionMatch match =
            QRegularExpression(R"(^(\S+) Files \((\d+)\)$)").match(text);
        if (match.hasMatch()) counts[match.captured(1)] = match.captured(2).toInt();
      }
    }
    return counts;
  }

 private slots:
  void initTestCase() {
    // The offscreen platform warns of every window it cannot size by hints; that is noise.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (!message.contains("propagateSizeHints")) previous(type, context, message);
        });
    QVERIFY(work_.isValid());
    qputenv("XDG_DATA_HOME", (work_.path() + "/data").toUtf8());
    std::string appFolder;
    QCOMPARE(AppFolder(appFolder), result::kSuccess);
    SetTexts(std::make_unique<UiTexts>(appFolder));
    image_ = testing::UnpackFixture(kFixtures + "/fat/demo.img.gz", work_.path());
  }

  void init() {
    CMessageBox::SetResponder([](MessageKind, const QString&) { return 1; });
    window_ = std::make_unique<CMainWnd>(ToUtf8(work_.path() + "/scans"));
    window_->resize(1100, 680);
    window_->show();
    testing::Screenshot(*window_, "main-start");
  }

  void cleanup() { window_.reset(); }

  void pageSelectorShowsThePartsCases_data() {
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("visible");
    QTest::addColumn<bool>("prevEnabled");
    QTest::newRow("11 pages, all fit") << 11 << 1 << "Prev 1 2 3 4 5 6 7 8 9 10 11 Next" << false;
    QTest::newRow("30 at 6, near the start")
        << 30 << 6 << "Prev 1 2 3 4 5 6 7 8 9 ... 29 30 Next" << true;
    QTest::newRow("30 at 7, in the middle")
        << 30 << 7 << "Prev 1 2 ... 4 5 6 7 8 9 10 ... 29 30 Next" << true;
    QTest::newRow("30 at 25, near the end")
        << 30 << 25 << "Prev 1 2 ... 22 23 24 25 26 27 28 29 30 Next" << true;
  }
  void pageSelectorShowsThePartsCases() {
    QFETCH(int, pages);
    QFETCH(int, current);
    QFETCH(QString, visible);
    QFETCH(bool, prevEnabled);
    CPaginationUI selector;
    selector.show();
    selector.SetPageCount(pages);
    selector.SetCurrentPage(current);
    QVERIFY(selector.Layout());
    QCOMPARE(selector.VisibleText(), visible);
    QCOMPARE(selector.PrevButton()->isEnabled(), prevEnabled);
  }

  void pageSelectorNextOnTheLastPageStaysAndStillTells() {
    CPaginationUI selector;
    selector.show();
    selector.SetPageCount(30);
    selector.SetCurrentPage(30);
    QVERIFY(selector.Layout());
    QVERIFY(!selector.NextButton()->isEnabled());
    QSignalSpy update(&selector, &CPaginationUI::updatePage);
    selector.NextButton()->setEnabled(true);  // a click the toolkit lets through
    selector.NextButton()->click();
    QCOMPARE(update.count(), 1);
    QCOMPARE(selector.CurrentPage(), 30);
    selector.SetCurrentPage(31);
    QVERIFY(!selector.Layout());  // beyond the count: nothing changes
    QCOMPARE(selector.CurrentPage(), 31);
  }

  void deletedRecoveryListsTheDemoFilesByType() {
    ScanDemo(*window_);
    testing::Screenshot(*window_, "main-results");
    std::map<QString, int> expected;
    for (const auto& [name, file] : testing::ListedFiles(kFixtures + "/fat/demo_truth.tsv")) {
      expected[QFileInfo(QString::fromStdString(name)).suffix().toUpper()]++;
    }
    QCOMPARE(ExtensionCounts(window_->TypeTree()), expected);
    // Categories without files are not shown; the first one's files fill the list.
    QTreeWidget& tree = window_->TypeTree();
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
      QVERIFY(tree.topLevelItem(i)->childCount() > 0);
    }
    QVERIFY(window_->FileList().rowCount() > 0);
  }

  void sortingBySizeTwiceReversesAndNamesIgnoreCase() {
    ScanDemo(*window_);
    FileListModel& list = window_->FileList();
    std::vector<std::uint64_t> ascending, descending;
    window_->ClickHeader(FileListModel::kSize);
    for (int row = 0; row < list.rowCount(); ++row) ascending.push_back(SizeAt(row));
    window_->ClickHeader(FileListModel::kSize);
    for (int row = 0; row < list.rowCount(); ++row) descending.push_back(SizeAt(row));
    QVERIFY(ascending.size() >= 3);
    QVERIFY(std::is_sorted(ascending.begin(), ascending.end()));
    QVERIFY(ascending.front() != ascending.back());
    std::reverse(descending.begin(), descending.end());
    QCOMPARE(descending, ascending);

    window_->ClickHeader(FileListModel::kFileName);
    for (int row = 1; row < list.rowCount(); ++row) {
      const QString before = list.CellText(list.EntryAt(row - 1), FileListModel::kFileName);
      const QString after = list.CellText(list.EntryAt(row), FileListModel::kFileName);
      QVERIFY2(before.compare(after, Qt::CaseInsensitive) <= 0, qPrintable(before + " " + after));
    }
  }

  void checkedFilesAreRecoveredWholeAndSecondCopiesNumbered() {
    ScanDemo(*window_);
    const auto truth = testing::ListedFiles(kFixtures + "/fat/demo_truth.tsv");
    FileListModel& list = window_->FileList();
    // Two photos of the first node.
    QVERIFY(list.rowCount() >= 2);
    for (int row = 0; row < 2; ++row) {
      QVERIFY(list.setData(list.index(row, 0), Qt::Checked, Qt::CheckStateRole));
    }
    const QString summary = window_->findChild<QLabel*>("SelectedFileInfo")->text();
    QVERIFY2(summary.contains(" 2 files"), qPrintable(summary));
    QTemporaryDir target;
    window_->SetPathChoosers({{}, [&target](QWidget*) { return target.path(); }, {}});
    connect(window_.get(), &CMainWnd::popUpOpening, this, [](CPopUpWnd* window) {
      window->findChild<QPushButton*>("DetailBtn")->click();
      connect(window, &CPopUpWnd::progressShown, window,
              [window] { testing::Screenshot(*window, "recover-progress"); });
      PressWhenShown(window, "FinishBtn");
    });
    Click(*window_, "BtnRecover");
    QStringList names;
    for (std::size_t entry : list.Checked()) {
      const QString name = list.CellText(entry, FileListModel::kFileName);
      names << name;
      const QString written = target.path() + "/photo/" + name;
      QVERIFY2(QFile::exists(written), qPrintable(written));
      QCOMPARE(Sha256(written), QString::fromStdString(truth.at(name.toStdString()).sha256));
    }
    // The same files again: the names are taken, so the copies are numbered.
    Click(*window_, "BtnRecover");
    for (const QString& name : names) {
      const QFileInfo info(name);
      const QString second =
          target.path() + "/photo/" + info.completeBaseName() + "(1)." + info.suffix();
      QVERIFY2(QFile::exists(second), qPrintable(second));
      QCOMPARE(Sha256(second), Sha256(target.path() + "/photo/" + name));
    }
  }

  void aFileThatCannotBeWrittenIsListedFirstInRed() {
    ScanDemo(*window_);
    FileListModel& list = window_->FileList();
    QVERIFY(list.setData(list.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    // A file where the photo folder should go: nothing can be written under it.
    QTemporaryDir target;
    QFile blocker(target.path() + "/photo");
    QVERIFY(blocker.open(QFile::WriteOnly));
    blocker.close();
    window_->SetPathChoosers({{}, [&target](QWidget*) { return target.path(); }, {}});
    int failed = -1;
    QString status;
    QColor color;
    connect(window_.get(), &CMainWnd::popUpOpening, this, [&](CPopUpWnd* window) {
      connect(window, &QDialog::finished, window, [&, window] {
        failed = static_cast<CRecoverProcessWnd*>(window)->Failed();
        QTreeWidgetItem* first = window->findChild<QTreeWidget*>("DetailList")->topLevelItem(0);
        status = first->text(1);
        color = first->foreground(0).color();
      });
      PressWhenShown(window, "FinishBtn");
    });
    Click(*window_, "BtnRecover");
    QCOMPARE(failed, 1);
    QCOMPARE(color, QColor(255, 0, 0));
    QVERIFY2(!status.isEmpty() && status != "Success", qPrintable(status));
  }

  void aDiskImageIsCopiedWholeAndOfferedForScanning() {
    Click(*window_, "BtnCreateImageMode");
    QVERIFY(window_->findChild<QPushButton*>("BtnCreateImage")->isVisible());
    QVERIFY(!window_->findChild<QPushButton*>("BtnScan")->isVisible());
    const QString copy = work_.path() + "/copy.img";
    window_->SetPathChoosers(
        {[this](QWidget*) { return image_; }, {}, [&copy](QWidget*) { return copy; }});
    Click(*window_, "BtnLoadImage");
    connect(window_.get(), &CMainWnd::popUpOpening, this, [](CPopUpWnd* window) {
      connect(window, &CPopUpWnd::progressShown, window,
              [window] { testing::Screenshot(*window, "create-image-progress"); });
    });
    Click(*window_, "BtnCreateImage");
    QCOMPARE(Sha256(copy), Sha256(image_));
    QVERIFY(QFile::exists(copy + ".map"));
    // Answered yes to scanning it: the copy is in the list, ready for deleted recovery.
    QCOMPARE(window_->Mode(), RecoveryMode::kDeleted);
    QCOMPARE(window_->CurrentPage(), int(CMainWnd::kMediaPage));
    auto* list = window_->findChild<QTreeWidget*>("DiskList");
    QVERIFY(!list->findItems("copy.img", Qt::MatchContains | Qt::MatchRecursive).isEmpty());
  }

  void theFileTypePageOffersEveryExtensionOfTheCategories() {
    Click(*window_, "BtnDeepRecovery");
    window_->SetPathChoosers({[this](QWidget*) { return image_; }, {}, {}});
    Click(*window_, "BtnLoadImage");
    Click(*window_, "BtnNext");
    QCOMPARE(window_->CurrentPage(), int(CMainWnd::kFileTypePage));
    testing::Screenshot(*window_, "main-file-types");
    auto* photo = window_->findChild<QCheckBox*>("ChkPhoto");
    auto* jpg = window_->findChild<QCheckBox*>("Opt_jpg");
    QVERIFY(jpg != nullptr && jpg->isChecked());
    photo->setChecked(false);  // a category box carries its extensions with it
    QVERIFY(!jpg->isChecked());
    Click(*window_, "BtnPrev");
    Click(*window_, "BtnPrev");
    QCOMPARE(window_->CurrentPage(), int(CMainWnd::kCategoryPage));
  }

  void aLanguageSwitchCaptionsTheWindowAgain() {
    std::string appFolder;
    QCOMPARE(AppFolder(appFolder), result::kSuccess);
    QTemporaryDir languages;
    QDir().mkpath(languages.path() + "/Languages");
    QFile config(languages.path() + "/config.ini");
    QVERIFY(config.open(QFile::WriteOnly));
    config.write(
        "[DefaultLanguage]\nDefault=English\n\n[Languages]\nEnglish=English\nPirate=Pirate\n");
    config.close();
    QFile english(QString::fromStdString(appFolder) + "Languages/English.ini");
    QVERIFY(english.open(QFile::ReadOnly));
    const QByteArray text = english.readAll();
    QVERIFY(english.copy(languages.path() + "/Languages/English.ini"));
    QFile pirate(languages.path() + "/Languages/Pirate.ini");
    QVERIFY(pirate.open(QFile::WriteOnly));
    pirate.write(QByteArray(text)
                     .replace("BtnScan=Scan", "BtnScan=Plunder")
                     .replace("MSG1209=Keldrive Data Recovery", "MSG1209=Keldrive o' the Seas"));
    pirate.close();
    SetTexts(std::make_unique<UiTexts>(languages.path().toStdString() + "/"));
    CMainWnd window(ToUtf8(work_.path() + "/scans"));
    auto* scan = window.findChild<QPushButton*>("BtnScan");
    QCOMPARE(scan->text(), QString("Scan"));
    QVERIFY(Texts().SetLanguage("Pirate"));
    QCoreApplication::postEvent(&window, new QEvent(kLanguageChangedEvent));
    QTRY_COMPARE(scan->text(), QString("Plunder"));
    QCOMPARE(window.findChild<QLabel*>("LblProductName")->text(), QString("Keldrive o' the Seas"));
    SetTexts(std::make_unique<UiTexts>(appFolder));
  }

  void cancellingAScanAsksAndANoGoesOn() {
    int asked = 0;
    CMessageBox::SetResponder([&asked](MessageKind kind, const QString&) {
      if (kind == MessageKind::kQuestion) ++asked;
      return 2;  // no: carry on
    });
    // Stop is pressed as soon as the window is up: a deep scan is still far from its end
    // then, while a deleted-file scan of the demo image may already be done.
    connect(window_.get(), &CMainWnd::popUpOpening, this, [](CPopUpWnd* window) {
      if (window->objectName() == "SearchProcessWnd") {
        connect(window, &CPopUpWnd::progressShown, window,
                [window] { testing::Screenshot(*window, "search-progress"); });
      }
      if (window->objectName() != "ScanProcessWnd") return;
      connect(window, &CPopUpWnd::progressShown, window,
              [window] { testing::Screenshot(*window, "scan-progress"); });
      QTimer::singleShot(0, window,
                         [window] { window->findChild<QPushButton*>("cancelbtn")->click(); });
    });
    ScanDemo(*window_, "BtnDeepRecovery");
    QCOMPARE(asked, 1);
    QCOMPARE(window_->Scans().size(), std::size_t{1});
    QCOMPARE(window_->Scans().front().scan.record.state, ScanState::kFinished);
    QVERIFY(window_->Results().Size() > 0);
  }

  void cancellingADeepScanWithYesShowsWhatWasFound() {
    CMessageBox::SetResponder([](MessageKind, const QString&) { return 1; });
    // Stopped as soon as the window is up, long before a deep scan can end.
    connect(window_.get(), &CMainWnd::popUpOpening, this, [](CPopUpWnd* window) {
      if (window->objectName() != "ScanProcessWnd") return;
      QTimer::singleShot(0, window,
                         [window] { window->findChild<QPushButton*>("cancelbtn")->click(); });
    });
    ScanDemo(*window_, "BtnDeepRecovery");
    QCOMPARE(window_->Scans().size(), std::size_t{1});
    QCOMPARE(window_->Scans().front().scan.record.state, ScanState::kStopped);
    QVERIFY(window_->findChild<QPushButton*>("TabRecover")->isEnabled());
  }

  void aDeepScanStoppedPartWayIsOfferedToBeCarriedOn() {
    // A deep scan of the image stopped half-way, as a closed window or a crash leaves it.
    ImageLayout layout;
    QCOMPARE(ListImageAreas(ToUtf8(image_), layout), result::kSuccess);
    ScanCatalogue catalogue(ToUtf8(work_.path() + "/scans"));
    ScanRequest request;
    request.area = layout.whole;
    request.area.driveLetter = 1;  // the first image of the list
    request.mode = RecoveryMode::kDeep;
    request.resume = ResumeChoice::kFresh;
    const ScanOutcome stopped = RunScan(catalogue, request, [](const ScanProgress& progress) {
      return progress.sectorsTotal != 0 && progress.sectorsDone * 2 >= progress.sectorsTotal
                 ? ResultCancelled
                 : result::kSuccess;
    });
    QCOMPARE(stopped.result, ResultCancelled);

    QStringList questions;
    CMessageBox::SetResponder([&questions](MessageKind, const QString& text) {
      questions << text;
      return 1;
    });
    ScanDemo(*window_, "BtnDeepRecovery");
    QVERIFY2(questions.size() == 1 && questions.front() == Texts().Message("MSG1206"),
             qPrintable(questions.join(" | ")));
    QVERIFY(window_->Scans().front().resumed);
    QCOMPARE(window_->Scans().front().scan.record.state, ScanState::kFinished);
    QVERIFY(window_->Results().Size() > 0);
  }

 private:
  std::uint64_t SizeAt(int row) {
    FileListModel& list = window_->FileList();
    return window_->Results().At(list.EntryAt(row)).record.size;
  }
};

}  // namespace keldrive::ui

int RunMainWindowTests(int argc, char** argv) {
  keldrive::ui::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
