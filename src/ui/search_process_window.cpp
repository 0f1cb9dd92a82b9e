#include "ui/search_process_window.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace keldrive::ui {

CSearchProcessWnd::CSearchProcessWnd(QWidget* owner, std::vector<LoadedScan*> scans,
                                     std::vector<QString> names, std::string filter,
                                     ResultCollection& results)
    : CPopUpWnd(owner, "SearchProcessWnd", "SearchProcessWnd", 450, 220),
      owner_(owner),
      scans_(std::move(scans)),
      names_(std::move(names)),
      filter_(std::move(filter)),
      results_(results) {
  StartWorker([this] { Run(); });
}

QString CSearchProcessWnd::CancelQuestion() const {
  return Texts().Message("MSG1205");
}

std::int32_t CSearchProcessWnd::OnListProgress(void* context, std::int32_t percent, std::int32_t) {
  auto* self = static_cast<CSearchProcessWnd*>(context);
  if (!self->Go()) return ResultCancelled;
  const int value = std::clamp(percent, 0, 100);
  self->Post([self, value] {
    self->Ctl<QProgressBar>("progress")->setValue(value);
    self->Ctl<QLabel>("percent")->setText(Texts().Message("MSG1204") + QString(" %1%").arg(value));
  });
  return 0;
}

void CSearchProcessWnd::Run() {
  results_.Clear();
  for (std::size_t i = 0; i < scans_.size() && Go(); ++i) {
    IFileRecoveryParse* engine = scans_[i]->engine.get();
    if (engine == nullptr) break;
    const QString name = i < names_.size() ? names_[i] : QString();
    Post([this, name] {
      Ctl<QLabel>("stage")->setText(Texts().Message("MSG1203", {ToUtf8(name)}));
    });
    engine->SetListProgressCallback(&CSearchProcessWnd::OnListProgress, this);
    // One record at a time, so the collection is the only copy of a large result.
    engine->VisitFilesByType(filter_, [&](const FoundFile& file) { results_.Add(i, file); });
    engine->SetListProgressCallback(nullptr, nullptr);
  }
  results_.Finish();
  QCoreApplication::postEvent(owner_, new QEvent(kSearchEndedEvent));
  Post([this] { done(kDone); });
}

}  // namespace keldrive::ui
