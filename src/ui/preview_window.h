#pragma once

#include <QDialog>
#include <QString>
#include <cstddef>
#include <functional>
#include <vector>

namespace keldrive::ui {

// The larger preview: one file at a time, "previous" and "next" over the given entries
// (the pictures of the list, wrapping at both ends), and "Recover this file".
class CPreviewWnd : public QDialog {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<QString(std::size_t entry)> title;
    // The viewer of an entry under `parent` (prepared by the owner, which keeps its
    // temporary file until the next call).
    std::function<QWidget*(std::size_t entry, QWidget* parent)> show;
    std::function<void(std::size_t entry)> recover;
  };

  CPreviewWnd(QWidget* owner, std::vector<std::size_t> entries, std::size_t position, Hooks hooks);

  std::size_t CurrentEntry() const { return entries_[position_]; }
  QWidget* Viewer() const { return viewer_; }
  void Next();
  void Previous();

 private:
  void ShowCurrent();

  std::vector<std::size_t> entries_;
  std::size_t position_;
  Hooks hooks_;
  QWidget* host_;
  QWidget* viewer_ = nullptr;
};

}  // namespace keldrive::ui
