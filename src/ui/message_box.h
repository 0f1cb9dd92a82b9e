#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace keldrive::ui {

// The five kinds of message box, each with its title key and buttons.
enum class MessageKind { kError = 0, kConfirm = 1, kInformation = 2, kWarning = 3, kQuestion = 4 };

// The program's message box: the kind's title ("MSG0401" ...), its icon, "okbtn" and, for
// confirmations and questions, "cancelbtn". Returns 1 for OK, 2 for Cancel or closing.
class CMessageBox {
 public:
  static int Show(MessageKind kind, QWidget* owner, const QString& text);

  // Answers every box without showing it, for tests and scripted runs; an empty function
  // shows boxes again. Called on the GUI thread with the kind and the text.
  using Responder = std::function<int(MessageKind kind, const QString& text)>;
  static void SetResponder(Responder responder);
};

}  // namespace keldrive::ui
