#include "ui/ui_texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/message_text.h"

namespace keldrive::ui {
namespace {

std::unique_ptr<UiTexts>& Current() {
  static std::unique_ptr<UiTexts> texts;
  return texts;
}

// Captions a window's controls through the language table's section walk.
class WidgetTextTarget final : public ControlTextTarget {
 public:
  explicit WidgetTextTarget(QWidget& window) : window_(window) {}
  bool SetControlText(const std::string& name, const std::string& text) override {
    const QString objectName = FromUtf8(name);
    auto* widget =
        window_.objectName() == objectName ? &window_ : window_.findChild<QWidget*>(objectName);
    return widget != nullptr && SetWidgetText(*widget, FromUtf8(text));
  }

 private:
  QWidget& window_;
};

}  // namespace

UiTexts::UiTexts(const std::string& appFolder)
    : table_(std::make_unique<LanguageTable>(appFolder)) {}

QString UiTexts::Message(const std::string& key) {
  return FromUtf8(LanguageTable::GetText(table_->GetLanguageSection("Messages"), key));
}

QString UiTexts::Message(const std::string& key,
                         std::initializer_list<std::string_view> arguments) {
  const std::string& text = LanguageTable::GetText(table_->GetLanguageSection("Messages"), key);
  return FromUtf8(FillMessage(text, arguments));
}

void UiTexts::ApplyCaptions(QWidget& window, const std::string& section) {
  WidgetTextTarget target(window);
  table_->ApplyLanguageSection(target, section);
}

bool UiTexts::SetLanguage(const std::string& name) {
  return table_->SetLanguage(name) == result::kSuccess;
}

UiTexts& Texts() {
  auto& texts = Current();
  if (!texts) texts = std::make_unique<UiTexts>("");
  return *texts;
}

void SetTexts(std::unique_ptr<UiTexts> texts) {
  Current() = std::move(texts);
}

bool SetWidgetText(QWidget& widget, const QString& text) {
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(&widget)) {
    label->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
    group->setTitle(text);
  } else if (auto* line = qobject_cast<QLineEdit*>(&widget)) {
    line->setText(text);
  } else {
    return false;
  }
  return true;
}

}  // namespace keldrive::ui
