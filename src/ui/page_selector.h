#pragma once

#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <array>

namespace keldrive::ui {

// The page selector under the file list: "Prev", numbered page buttons with up to two
// "..." gaps, and "Next". Every click changes the current page and then tells the owner
// through updatePage(), even when the page stays (Next on the last page).
class CPaginationUI : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxButtons = 11;
  static constexpr int kLeadingButtons = 2;
  static constexpr int kMiddleButtons = 7;
  static constexpr int kTrailingButtons = 2;

  explicit CPaginationUI(QWidget* parent = nullptr);

  void SetPageCount(int count) { pageCount_ = count; }
  void SetCurrentPage(int page) { currentPage_ = page; }
  int PageCount() const { return pageCount_; }
  int CurrentPage() const { return currentPage_; }

  // Numbers and shows the buttons for the current page; false, changing nothing, when the
  // current page lies beyond the page count.
  bool Layout();

  QPushButton* PrevButton() const { return prev_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* PageButton(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
  QLabel* LeftGap() const { return leftGap_; }
  QLabel* RightGap() const { return rightGap_; }

  // The visible items left to right as text: "Prev 1 2 ... 4 5 6 7 8 9 10 ... 29 30 Next".
  QString VisibleText() const;

 signals:
  void updatePage();

 private:
  void OnPrev();
  void OnNext();
  void OnPageButton(int index);
  void Number(int index, int page);

  int pageCount_ = 0;
  int currentPage_ = 0;
  QPushButton* prev_ = nullptr;
  QPushButton* next_ = nullptr;
  QLabel* leftGap_ = nullptr;
  QLabel* rightGap_ = nullptr;
  std::array<QPushButton*, kMaxButtons> pages_{};
  QButtonGroup* group_ = nullptr;
};

}  // namespace keldrive::ui
