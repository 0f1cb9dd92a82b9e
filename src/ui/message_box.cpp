#include "ui/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/ui_texts.h"

namespace keldrive::ui {
namespace {

CMessageBox::Responder& CurrentResponder() {
  static CMessageBox::Responder responder;
  return responder;
}

struct KindLook {
  const char* titleKey;
  QMessageBox::Icon icon;
  bool withCancel;
};

KindLook LookOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::kConfirm:
      return {"MSG0402", QMessageBox::Warning, true};
    case MessageKind::kInformation:
      return {"MSG0403", QMessageBox::Information, false};
    case MessageKind::kWarning:
      return {"MSG0405", QMessageBox::Warning, false};
    case MessageKind::kQuestion:
      return {"MSG0404", QMessageBox::Question, true};
    case MessageKind::kError:
    default:
      return {"MSG0401", QMessageBox::Critical, false};
  }
}

}  // namespace

int CMessageBox::Show(MessageKind kind, QWidget* owner, const QString& text) {
  if (const Responder& responder = CurrentResponder()) return responder(kind, text);
  const KindLook look = LookOf(kind);
  QMessageBox box(look.icon, Texts().Message(look.titleKey), text, QMessageBox::NoButton, owner);
  box.setObjectName("UIMessageBox");
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  ok->setObjectName("okbtn");
  if (look.withCancel) box.addButton(QMessageBox::Cancel)->setObjectName("cancelbtn");
  Texts().ApplyCaptions(box, "MessageBox");
  box.exec();
  return box.clickedButton() == ok ? 1 : 2;
}

void CMessageBox::SetResponder(Responder responder) {
  CurrentResponder() = std::move(responder);
}

}  // namespace keldrive::ui
