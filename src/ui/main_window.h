#pragma once

#include <QTableView>
#include <QTreeWidget>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/recovery_mode.h"
#include "session/scan_browser.h"
#include "session/scan_catalogue.h"
#include "session/scan_runner.h"
#include "ui/file_list_model.h"
#include "ui/media_list.h"
#include "ui/result_collection.h"

namespace keldrive::ui {

class CPaginationUI;
class CPopUpWnd;
class CPreviewWnd;
class CScanProcessWnd;
class DeviceWatcher;

// The main window: choose a mode, choose media, scan, browse the results by type and
// recover the checked files. Long work runs in the modal progress windows; the window
// reacts to the events they post (1025 scan ended, 1026 results collected).
class CMainWnd : public QWidget {
  Q_OBJECT

 public:
  // Workflow pages of "TabPage".
  enum Page { kCategoryPage = 0, kMediaPage = 1, kFileTypePage = 2, kResultPage = 3 };

  // `scanLogRoot`: where scans keep their logs (the user's, or a test's).
  explicit CMainWnd(std::string scanLogRoot, QWidget* parent = nullptr);
  ~CMainWnd() override;

  // Adds an image file to the media list, checked; false (after telling the user) when it
  // cannot be read as one.
  bool AddImage(const QString& path);

  // The dialogs that ask for paths, replaceable for tests and scripted runs.
  struct PathChoosers {
    std::function<QString(QWidget*)> imageToOpen;
    std::function<QString(QWidget*)> recoveryFolder;
    std::function<QString(QWidget*)> imageTarget;
  };
  void SetPathChoosers(PathChoosers choosers) { choosers_ = std::move(choosers); }

  int CurrentPage() const;
  RecoveryMode Mode() const { return mode_; }
  const ResultCollection& Results() const { return results_; }
  FileListModel& FileList() { return *model_; }
  QTreeWidget& TypeTree() { return *typeTree_; }
  CPaginationUI& Pager() { return *pager_; }
  const std::vector<ScanOutcome>& Scans() const { return scans_; }

  // Sorts the file list as a click on the header of `column` does.
  void ClickHeader(int column);

  // Recovers one found file, asking for the folder as "Recover" does (the preview window's
  // "Recover this file").
  void RecoverEntry(std::size_t entry);
  // The viewer the preview pane shows, null when none.
  QWidget* PreviewViewer() const { return previewViewer_; }
  // Opens the preview window on the current row.
  void OpenPreviewWindow();

 signals:
  // A progress window is about to be shown (for tests: to watch or answer it).
  void popUpOpening(keldrive::ui::CPopUpWnd* window);
  // The results of a scan are shown.
  void resultsShown();
  // The preview window is about to be shown (for tests: to step through it and close it).
  void previewWindowOpening(keldrive::ui::CPreviewWnd* window);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Connect();
  void ApplyCaptions();
  void ShowPage(int page);
  void ChooseMode(RecoveryMode mode, bool imageMode);
  void RebuildMediaList();
  std::vector<int> CheckedRows() const;
  void ShowMediumInfo(int row);
  void OnLoadImage();
  void OnNext();
  void OnPrev();
  void OnScan();
  void OnScanEnded();
  void OnResultsCollected();
  void OnRecover();
  void RecoverEntries(const std::vector<std::size_t>& entries);
  void OnCreateImage();
  void FillTypeTree();
  void ShowNode(QTreeWidgetItem* node);
  void UpdateSelectionSummary();
  void OnCategoryBoxChanged();
  void FillFileTypeOptions();
  std::string FileFilter() const;
  void ShowPreview(const QModelIndex& index);
  // Prepares an entry with the preview progress window and makes its viewer under
  // `parent`; null when it was stopped or failed. The previous temporary file goes first.
  QWidget* PreviewOf(std::size_t entry, QWidget* parent);
  void ClearPreview();
  void RemovePreviewFile();
  std::string PathOf(const ResultEntry& entry) const;
  void ShowAssistMenu();
  bool OfferDiskRights(const MediaRow& row);

  QWidget* form_ = nullptr;
  std::string scanLogRoot_;
  std::unique_ptr<ScanCatalogue> catalogue_;
  RecoveryMode mode_ = RecoveryMode::kDeleted;
  bool imageMode_ = false;
  std::vector<MediaRow> rows_;
  std::vector<std::string> images_;  // added, in order
  QTreeWidget* diskList_ = nullptr;

  std::vector<ScanOutcome> scans_;
  std::vector<QString> scanNames_;
  std::vector<std::string> forgetOnNextScan_;  // deleted-recovery scan folders
  std::unique_ptr<ScanSetBrowser> browser_;
  ResultCollection results_;
  std::unique_ptr<FileListModel> model_;
  QTreeWidget* typeTree_ = nullptr;
  QTableView* fileView_ = nullptr;
  CPaginationUI* pager_ = nullptr;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  PathChoosers choosers_;
  DeviceWatcher* watcher_ = nullptr;
  CScanProcessWnd* scanWindow_ = nullptr;  // while a scan runs
  bool scanEndedPending_ = false;
  std::vector<std::uint8_t> previewBuffer_;  // kPreviewBufferBytes, made on first use
  std::string previewFile_;                  // the temporary file of the last preview
  QWidget* previewViewer_ = nullptr;         // in the pane
};

}  // namespace keldrive::ui
